#include "imaging/bytes.h"

namespace dv {

void FailAt(size_t offset, const std::string& what) { throw ImageError{what, offset}; }

void Fail(const std::string& what) { throw ImageError{what, ImageError::kNoOffset}; }

void AllocateImage(Image& out, int64_t width, int64_t height, size_t offset) {
    if (width < 1 || height < 1) {
        FailAt(offset, "bad image size " + std::to_string(width) + "x" + std::to_string(height));
    }
    if (width > kMaxImageSide || height > kMaxImageSide) {
        FailAt(offset, "image size " + std::to_string(width) + "x" + std::to_string(height) + " exceeds the limit of " +
                           std::to_string(kMaxImageSide));
    }
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    out.rgba.assign(static_cast<size_t>(width * height) * 4, 0);
    for (size_t i = 3; i < out.rgba.size(); i += 4) out.rgba[i] = 255;
}

void CheckPixelBudget(int64_t width, int64_t height, size_t dataSize, int64_t maxPixelsPerByte, size_t offset) {
    if (width <= 0 || height <= 0) return;  // AllocateImage reports these
    const int64_t side = kMaxImageSide;
    if (width > side || height > side) return;
    if (width * height / maxPixelsPerByte > static_cast<int64_t>(dataSize)) {
        FailAt(offset, "image size " + std::to_string(width) + "x" + std::to_string(height) + " is more than " +
                           std::to_string(dataSize) + " bytes of data can hold");
    }
}

size_t ByteReader::Need(size_t n) {
    if (n > size_ - pos_) FailAt(size_, "unexpected end of data");
    pos_ += n;
    return pos_;
}

void ByteReader::Seek(size_t pos) {
    if (pos > size_) FailAt(size_, "offset " + std::to_string(pos) + " is past the end of the data");
    pos_ = pos;
}

const uint8_t* ByteReader::Bytes(size_t n) {
    const size_t start = pos_;
    Need(n);
    return data_ + start;
}

uint16_t ByteReader::U16le() {
    const uint8_t* p = Bytes(2);
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t ByteReader::U32le() {
    const uint8_t* p = Bytes(4);
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t ByteReader::U16be() {
    const uint8_t* p = Bytes(2);
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

uint32_t ByteReader::U32be() {
    const uint8_t* p = Bytes(4);
    return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

}  // namespace dv
