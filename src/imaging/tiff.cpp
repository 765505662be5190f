#include "imaging/tiff.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/bytes.h"

namespace dv {
namespace {

// Fax compression codes a blank line in a bit or two; the bound only stops tiny files
// from claiming gigabytes.
constexpr int64_t kTiffPixelsPerByte = 65536;
constexpr tmsize_t kMaxLibraryAlloc = 256 * 1024 * 1024;

struct TiffSource {
    const uint8_t* data;
    size_t size;
    toff_t pos = 0;
    std::string error;  // first error libtiff reported
};

tmsize_t ReadProc(thandle_t h, void* buf, tmsize_t n) {
    auto* src = static_cast<TiffSource*>(h);
    if (n <= 0 || src->pos >= src->size) return 0;
    const size_t count = std::min(static_cast<size_t>(n), static_cast<size_t>(src->size - src->pos));
    std::memcpy(buf, src->data + src->pos, count);
    src->pos += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return 0; }

toff_t SeekProc(thandle_t h, toff_t off, int whence) {
    auto* src = static_cast<TiffSource*>(h);
    toff_t base = 0;
    if (whence == SEEK_CUR) base = src->pos;
    if (whence == SEEK_END) base = src->size;
    const toff_t target = base + off;
    if (target < base) return static_cast<toff_t>(-1);  // wrapped
    src->pos = target;
    return target;
}

int CloseProc(thandle_t) { return 0; }

toff_t SizeProc(thandle_t h) { return static_cast<TiffSource*>(h)->size; }

// The bytes are already in memory: libtiff reads them as it reads a mapped file. Its RGBA
// reader refuses uncompressed tiles when it has to read them through ReadProc.
int MapProc(thandle_t h, void** base, toff_t* size) {
    auto* src = static_cast<TiffSource*>(h);
    *base = const_cast<uint8_t*>(src->data);  // libtiff never writes into a mapped file
    *size = src->size;
    return 1;
}

void UnmapProc(thandle_t, void*, toff_t) {}

int OnError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    auto* src = static_cast<TiffSource*>(user);
    if (!src->error.empty()) return 1;
    char text[512];
    std::vsnprintf(text, sizeof text, fmt, ap);
    src->error = module != nullptr && *module != '\0' ? std::string(module) + ": " + text : text;
    return 1;
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct OptionsDeleter {
    void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};
struct TiffDeleter {
    void operator()(TIFF* t) const { TIFFClose(t); }
};

// The RGBA reader premultiplies unassociated alpha, so a fully transparent pixel would lose
// its colour. Marked associated, the samples come through as stored. True when the samples
// are straight (unassociated); false when they are premultiplied or there is no alpha.
bool PassAlphaThrough(TIFF* tif) {
    uint16_t count = 0;
    uint16_t* kinds = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &kinds) || count == 0 || kinds == nullptr) return false;
    if (kinds[0] != EXTRASAMPLE_UNASSALPHA) return false;
    std::vector<uint16_t> marked(kinds, kinds + count);
    marked[0] = EXTRASAMPLE_ASSOCALPHA;
    return TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, count, marked.data()) == 1;
}

[[noreturn]] void FailTiff(const TiffSource& src, const std::string& what) {
    Fail("TIFF error: " + (src.error.empty() ? what : src.error));
}

}  // namespace

void DecodeTiff(const uint8_t* data, size_t size, Image& out) {
    if (size < 8 || !((data[0] == 'I' && data[1] == 'I') || (data[0] == 'M' && data[1] == 'M'))) {
        FailAt(0, "not a TIFF (no byte-order mark)");
    }
    TiffSource src{data, size, 0, {}};
    std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (!options) Fail("out of memory");
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxLibraryAlloc);
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), OnError, &src);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), OnWarning, &src);
    std::unique_ptr<TIFF, TiffDeleter> tif(TIFFClientOpenExt("memory", "r", &src, ReadProc, WriteProc, SeekProc,
                                                             CloseProc, SizeProc, MapProc, UnmapProc, options.get()));
    if (!tif) FailTiff(src, "cannot read the header");

    uint32_t width = 0, height = 0;
    if (!TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height)) {
        FailTiff(src, "no image width or length");
    }
    char reason[1024] = "";
    if (!TIFFRGBAImageOK(tif.get(), reason)) Fail(std::string("unsupported TIFF: ") + reason);
    const bool straight = PassAlphaThrough(tif.get());
    CheckPixelBudget(width, height, size, kTiffPixelsPerByte, ImageError::kNoOffset);
    AllocateImage(out, width, height, ImageError::kNoOffset);
    std::vector<uint32_t> raster(static_cast<size_t>(width) * height);
    if (!TIFFReadRGBAImageOriented(tif.get(), width, height, raster.data(), ORIENTATION_TOPLEFT, 1)) {
        FailTiff(src, "cannot decode the image data");
    }
    for (size_t i = 0; i < raster.size(); ++i) {
        const uint32_t v = raster[i];
        uint8_t* p = &out.rgba[i * 4];
        const uint32_t a = TIFFGetA(v);
        const uint32_t rgb[3] = {TIFFGetR(v), TIFFGetG(v), TIFFGetB(v)};
        // Premultiplied colour is divided back out: we deliver straight alpha.
        for (int c = 0; c < 3; ++c) {
            const uint32_t value = straight || a == 255 ? rgb[c] : a == 0 ? 0 : (rgb[c] * 255 + a / 2) / a;
            p[c] = static_cast<uint8_t>(std::min<uint32_t>(value, 255));
        }
        p[3] = static_cast<uint8_t>(a);
    }
}

void DecodeEps(const uint8_t* data, size_t size, Image& out) {
    ByteReader r(data, size);
    if (size < 30 || r.U32le() != 0xC6D3D0C5u) {
        Fail("unsupported image format (PostScript without a TIFF preview)");
    }
    r.Seek(20);
    const uint32_t offset = r.U32le();
    const uint32_t length = r.U32le();
    if (length == 0) Fail("unsupported image format (EPS without a TIFF preview)");
    if (offset > size || length > size - offset) FailAt(20, "TIFF preview lies past the end of the file");
    try {
        DecodeTiff(data + offset, length, out);
    } catch (ImageError& e) {
        if (e.Offset != ImageError::kNoOffset) e.Offset += offset;
        throw;
    }
}

}  // namespace dv
