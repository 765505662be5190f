#include "imaging/pnm.h"

#include <string>

#include "imaging/bytes.h"

namespace dv {
namespace {

bool IsSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

class Text {
public:
    Text(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    size_t Pos() const { return pos_; }

    // Skips white space and '#' comments.
    void SkipBlank() {
        while (pos_ < size_) {
            if (data_[pos_] == '#') {
                while (pos_ < size_ && data_[pos_] != '\n' && data_[pos_] != '\r') ++pos_;
            } else if (IsSpace(data_[pos_])) {
                ++pos_;
            } else {
                return;
            }
        }
    }

    // Reads a decimal number of at most `max`, after blanks.
    uint32_t Number(const char* what, uint32_t max) {
        SkipBlank();
        const size_t start = pos_;
        if (pos_ >= size_) FailAt(pos_, std::string("unexpected end of data, expected ") + what);
        if (!IsDigit(data_[pos_])) FailAt(pos_, std::string("expected ") + what);
        uint64_t v = 0;
        while (pos_ < size_ && IsDigit(data_[pos_])) {
            v = v * 10 + (data_[pos_++] - '0');
            if (v > max) FailAt(start, std::string(what) + " larger than " + std::to_string(max));
        }
        return static_cast<uint32_t>(v);
    }

    // A P1 bit: a single '0' or '1', blanks between bits optional.
    int Bit() {
        SkipBlank();
        if (pos_ >= size_) FailAt(pos_, "unexpected end of data, expected a bit");
        const uint8_t c = data_[pos_];
        if (c != '0' && c != '1') FailAt(pos_, "expected 0 or 1");
        ++pos_;
        return c - '0';
    }

    // The single white-space byte between a binary header and its raster.
    void EndOfHeader() {
        if (pos_ >= size_ || !IsSpace(data_[pos_])) FailAt(pos_, "expected white space after the header");
        ++pos_;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

uint8_t Scale(uint32_t v, uint32_t maxval) { return static_cast<uint8_t>((v * 255u + maxval / 2) / maxval); }

}  // namespace

void DecodePnm(const uint8_t* data, size_t size, Image& out) {
    if (size < 2 || data[0] != 'P' || data[1] < '1' || data[1] > '6') {
        FailAt(0, "not a portable any-map (no P1-P6 magic)");
    }
    const int kind = data[1] - '0';
    const bool ascii = kind <= 3;
    const int channels = kind == 3 || kind == 6 ? 3 : 1;
    const bool bitmap = kind == 1 || kind == 4;
    Text t(data + 2, size - 2);
    auto at = [&] { return t.Pos() + 2; };
    const size_t sizeAt = at();
    const uint32_t width = t.Number("width", 1u << 30);
    const uint32_t height = t.Number("height", 1u << 30);
    uint32_t maxval = 1;
    if (!bitmap) {
        const size_t maxAt = at();
        maxval = t.Number("maxval", 65535);
        if (maxval == 0) FailAt(maxAt + 1, "maxval 0");
    }
    if (!ascii) t.EndOfHeader();
    const size_t start = at();
    const size_t remaining = size - start;
    const size_t samples = static_cast<size_t>(width) * height * channels;
    const size_t sampleBytes = maxval > 255 ? 2 : 1;
    if (width >= 1 && height >= 1 && width <= kMaxImageSide && height <= kMaxImageSide) {
        const size_t need = kind == 4 ? static_cast<size_t>((width + 7) / 8) * height
                            : ascii   ? samples  // at least one character per sample
                                      : samples * sampleBytes;
        if (need > remaining) {
            FailAt(size,
                   "raster is truncated: " + std::to_string(need) + " bytes needed from byte " + std::to_string(start));
        }
    }
    AllocateImage(out, width, height, sizeAt + 1);

    const uint8_t* raster = data + start;
    auto sample = [&](size_t i) -> uint32_t {
        if (ascii) return t.Number("sample", 65535);
        if (sampleBytes == 2) return raster[i * 2] << 8 | raster[i * 2 + 1];
        return raster[i];
    };
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const size_t i = static_cast<size_t>(y) * width + x;
            if (bitmap) {
                const int bit = kind == 1 ? t.Bit() : (raster[y * ((width + 7) / 8) + x / 8] >> (7 - x % 8)) & 1;
                const uint8_t v = bit ? 0 : 255;  // 1 is black
                PutPixel(out, x, y, v, v, v);
                continue;
            }
            uint32_t c[3];
            for (int k = 0; k < channels; ++k) {
                const size_t pos = at();
                c[k] = sample(i * channels + k);
                if (c[k] > maxval) {
                    FailAt(ascii ? pos : start + (i * channels + k) * sampleBytes,
                           "sample " + std::to_string(c[k]) + " exceeds maxval " + std::to_string(maxval));
                }
            }
            if (channels == 1) c[1] = c[2] = c[0];
            PutPixel(out, x, y, Scale(c[0], maxval), Scale(c[1], maxval), Scale(c[2], maxval));
        }
    }
}

}  // namespace dv
