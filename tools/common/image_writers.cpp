#include "tools/common/image_writers.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include <jpeglib.h>

#include "files/safe_write.h"

namespace dv {

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

}  // namespace

std::vector<uint8_t> EncodeBmp24(int width, int height, const std::vector<uint8_t>& rgb) {
    const uint32_t rowBytes = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    const uint32_t pixelBytes = rowBytes * static_cast<uint32_t>(height);
    std::vector<uint8_t> out;
    out.reserve(54 + pixelBytes);
    out.push_back('B');
    out.push_back('M');
    Put32(out, 54 + pixelBytes);
    Put32(out, 0);
    Put32(out, 54);
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(width));
    Put32(out, static_cast<uint32_t>(height));  // positive: rows bottom first
    Put16(out, 1);
    Put16(out, 24);
    Put32(out, 0);
    Put32(out, pixelBytes);
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    for (int y = height - 1; y >= 0; --y) {
        const uint8_t* row = &rgb[static_cast<size_t>(y) * width * 3];
        for (int x = 0; x < width; ++x) {
            out.push_back(row[x * 3 + 2]);
            out.push_back(row[x * 3 + 1]);
            out.push_back(row[x * 3]);
        }
        for (uint32_t p = static_cast<uint32_t>(width) * 3; p < rowBytes; ++p) out.push_back(0);
    }
    return out;
}

namespace {

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

}  // namespace

std::vector<uint8_t> EncodeJpeg(int width, int height, const std::vector<uint8_t>& rgb, int quality) {
    jpeg_compress_struct cinfo{};
    JpegError jerr{};
    cinfo.err = jpeg_std_error(&jerr.mgr);
    jerr.mgr.error_exit = [](j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); };
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(jerr.jump) != 0) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        throw std::runtime_error("the JPEG encoder failed");
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&rgb[static_cast<size_t>(cinfo.next_scanline) * width * 3]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

void WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& bytes) {
    if (std::string error; !WriteFileSafely(path, bytes.data(), bytes.size(), error)) throw std::runtime_error(error);
}

}  // namespace dv
