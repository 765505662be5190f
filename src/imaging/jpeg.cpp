#include "imaging/jpeg.h"

#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

#include <csetjmp>
#include <string>

#include "imaging/bytes.h"

namespace dv {
namespace {

// JPEG has no fixed compression bound (arithmetic coding of flat areas costs next to
// nothing); this one only stops tiny files from claiming gigabytes.
constexpr int64_t kJpegPixelsPerByte = 65536;
// A corrupt progressive file can hold thousands of tiny scans, each a pass over the image.
constexpr int kMaxScans = 1000;
constexpr long kMaxLibraryMemory = 512L * 1024 * 1024;

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void OnErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Most warnings report corrupt data (premature end, bad Huffman codes, extraneous
// bytes); such a picture is damaged, so they end decoding like an error. Warnings about
// metadata the pixels do not depend on, and trace messages, are ignored.
void OnMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;
    switch (cinfo->err->msg_code) {
        case JWRN_JFIF_MAJOR:
        case JWRN_ADOBE_XFORM:
        case JWRN_BOGUS_ICC: return;
        default: OnErrorExit(cinfo);
    }
}

void OnProgress(j_common_ptr cinfo) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans) {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        std::snprintf(err->message, sizeof err->message, "more than %d scans", kMaxScans);
        std::longjmp(err->jump, 1);
    }
}

// Reads the header and starts decompression; false after a library error. No C++
// object with a destructor lives in this frame or the next, so longjmp is safe.
bool Start(jpeg_decompress_struct& cinfo, const uint8_t* data, size_t size, int64_t& width, int64_t& height,
           bool& cmyk) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo.err);
    if (setjmp(err->jump)) return false;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
    width = cinfo.image_width;
    height = cinfo.image_height;
    return true;
}

bool Run(jpeg_decompress_struct& cinfo, uint8_t* pixels, size_t stride) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo.err);
    if (setjmp(err->jump)) return false;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 4) {
        std::snprintf(err->message, sizeof err->message, "unexpected output of %d components", cinfo.output_components);
        return false;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = pixels + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

struct Decompressor {
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    jpeg_progress_mgr progress{};
    ~Decompressor() { jpeg_destroy_decompress(&cinfo); }
};

size_t ConsumedBytes(const jpeg_decompress_struct& cinfo, size_t size) {
    return cinfo.src != nullptr ? size - cinfo.src->bytes_in_buffer : 0;
}

// Adobe writes CMYK inverted (0 = full ink); others write it plain.
void CmykToRgb(Image& img, bool inverted) {
    for (size_t i = 0; i < img.rgba.size(); i += 4) {
        uint8_t* p = &img.rgba[i];
        int c = p[0], m = p[1], y = p[2], k = p[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        p[0] = static_cast<uint8_t>(c * k / 255);
        p[1] = static_cast<uint8_t>(m * k / 255);
        p[2] = static_cast<uint8_t>(y * k / 255);
        p[3] = 255;
    }
}

}  // namespace

void DecodeJpeg(const uint8_t* data, size_t size, Image& out) {
    if (size < 3 || data[0] != 0xFF || data[1] != 0xD8) FailAt(0, "not a JPEG (no SOI marker)");
    Decompressor dec;
    dec.cinfo.err = jpeg_std_error(&dec.err.base);
    dec.err.base.error_exit = OnErrorExit;
    dec.err.base.emit_message = OnMessage;
    jpeg_create_decompress(&dec.cinfo);
    dec.cinfo.mem->max_memory_to_use = kMaxLibraryMemory;
    dec.progress.progress_monitor = OnProgress;
    dec.cinfo.progress = &dec.progress;

    int64_t width = 0, height = 0;
    bool cmyk = false;
    if (!Start(dec.cinfo, data, size, width, height, cmyk)) {
        FailAt(ConsumedBytes(dec.cinfo, size), std::string("JPEG error: ") + dec.err.message);
    }
    CheckPixelBudget(width, height, size, kJpegPixelsPerByte, 0);
    AllocateImage(out, width, height, 0);
    if (!Run(dec.cinfo, out.rgba.data(), static_cast<size_t>(width) * 4)) {
        FailAt(ConsumedBytes(dec.cinfo, size), std::string("JPEG error: ") + dec.err.message);
    }
    if (cmyk) CmykToRgb(out, dec.cinfo.saw_Adobe_marker);
}

}  // namespace dv
