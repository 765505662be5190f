// Shared pieces of the decoders: the failure type, a bounds-checked byte reader and
// the checks that keep a header from asking for absurd amounts of memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/decode.h"

namespace dv {

// Raised by a decoder on damaged or unsupported input; DecodeImageMemory turns it into
// one line of text. `Offset` is the byte where it went wrong, or kNoOffset.
struct ImageError {
    static constexpr size_t kNoOffset = static_cast<size_t>(-1);
    std::string What;
    size_t Offset = kNoOffset;
};

[[noreturn]] void FailAt(size_t offset, const std::string& what);
[[noreturn]] void Fail(const std::string& what);

// Largest width or height any decoder accepts.
constexpr int64_t kMaxImageSide = 16384;

// Sets `out` to width x height pixels of opaque black, after checking both sides are in
// 1..kMaxImageSide; fails at `offset` otherwise.
void AllocateImage(Image& out, int64_t width, int64_t height, size_t offset);

// Fails when a header claims more pixels than `dataSize` bytes can encode at no more
// than `maxPixelsPerByte` pixels per byte (a bound of the format's compression).
void CheckPixelBudget(int64_t width, int64_t height, size_t dataSize, int64_t maxPixelsPerByte, size_t offset);

inline void PutPixel(Image& img, int x, int y, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
    uint8_t* p = &img.rgba[(static_cast<size_t>(y) * img.width + x) * 4];
    p[0] = r;
    p[1] = g;
    p[2] = b;
    p[3] = a;
}

// Reads little- or big-endian fields from a buffer; every read past the end fails
// with "unexpected end of data" at the offset of the missing byte.
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t Pos() const { return pos_; }
    size_t Size() const { return size_; }
    size_t Remaining() const { return size_ - pos_; }
    const uint8_t* Data() const { return data_; }

    // Moves to absolute offset `pos` (at most Size()).
    void Seek(size_t pos);
    void Skip(size_t n) { Need(n); }
    // Returns a pointer to the next n bytes and moves past them.
    const uint8_t* Bytes(size_t n);

    uint8_t U8() { return data_[Need(1) - 1]; }
    uint16_t U16le();
    uint32_t U32le();
    uint16_t U16be();
    uint32_t U32be();
    int32_t I32le() { return static_cast<int32_t>(U32le()); }

private:
    // Checks n more bytes exist; returns the position after them and advances.
    size_t Need(size_t n);

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

}  // namespace dv
