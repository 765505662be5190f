#include "imaging/decode.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <exception>
#include <new>
#include <string_view>

#include "files/read_file.h"
#include "imaging/bmp.h"
#include "imaging/bytes.h"
#include "imaging/ico.h"
#include "imaging/jpeg.h"
#include "imaging/pcx.h"
#include "imaging/png.h"
#include "imaging/pnm.h"
#include "imaging/psd.h"
#include "imaging/sgi.h"
#include "imaging/tga.h"
#include "imaging/tiff.h"

namespace dv {
namespace {

using Decoder = void (*)(const uint8_t*, size_t, Image&);

struct Format {
    std::string_view extension;
    Decoder decode;  // null: a format we know but do not decode
};

constexpr Format kFormats[] = {
    {"bmp", DecodeBmp},  {"rle", DecodeBmp},   {"dib", DecodeBmp},   {"ico", DecodeIco},  {"wmf", nullptr},
    {"emf", nullptr},    {"jpg", DecodeJpeg},  {"jpeg", DecodeJpeg}, {"jpe", DecodeJpeg}, {"jfif", DecodeJpeg},
    {"tga", DecodeTga},  {"win", DecodeTga},   {"vst", DecodeTga},   {"vda", DecodeTga},  {"icb", DecodeTga},
    {"tif", DecodeTiff}, {"tiff", DecodeTiff}, {"fax", DecodeTiff},  {"eps", DecodeEps},  {"pcx", DecodePcx},
    {"pcc", DecodePcx},  {"scr", DecodePcx},   {"rla", nullptr},     {"rpf", nullptr},    {"sgi", DecodeSgi},
    {"rgb", DecodeSgi},  {"rgba", DecodeSgi},  {"bw", DecodeSgi},    {"psd", DecodePsd},  {"pdd", DecodePsd},
    {"ppm", DecodePnm},  {"pgm", DecodePnm},   {"pbm", DecodePnm},   {"cel", nullptr},    {"pic", nullptr},
    {"pcd", nullptr},    {"cut", nullptr},     {"psp", nullptr},     {"png", DecodePng},
};

std::string Lower(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

// The extension of the last path component, without the dot; empty if none.
std::string ExtensionOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return path.substr(dot + 1);
}

std::string Describe(const std::string& name, const ImageError& e) {
    std::string line = name + ": " + e.What;
    if (e.Offset != ImageError::kNoOffset) line += " at byte " + std::to_string(e.Offset);
    return line;
}

}  // namespace

bool DecodeImageMemory(const uint8_t* data, size_t size, const std::string& extension, const std::string& name,
                       Image& out, std::string& error) {
    const std::string ext = Lower(extension);
    const auto format =
        std::find_if(std::begin(kFormats), std::end(kFormats), [&](const Format& f) { return f.extension == ext; });
    if (format == std::end(kFormats)) {
        error = ext.empty() ? name + ": no file extension to choose an image decoder by"
                            : name + ": unknown image file extension '." + extension + "'";
        return false;
    }
    if (format->decode == nullptr) {
        error = name + ": unsupported image format (." + ext + ")";
        return false;
    }
    Image image;
    try {
        if (size == 0) Fail("empty file");
        format->decode(data, size, image);
    } catch (const ImageError& e) {
        error = Describe(name, e);
        return false;
    } catch (const std::bad_alloc&) {
        error = name + ": out of memory";
        return false;
    } catch (const std::exception& e) {
        error = name + ": " + e.what();
        return false;
    }
    out = std::move(image);
    return true;
}

bool DecodeImageFile(const std::string& path, Image& out, std::string& error) {
    std::vector<uint8_t> bytes;
    if (ReadWholeFile(path, kMaxImageFileBytes, bytes, error) != FileRead::Read) return false;
    return DecodeImageMemory(bytes.data(), bytes.size(), ExtensionOf(path), path, out, error);
}

}  // namespace dv
