#include "render/font.h"

#include <cstring>

#include "files/read_file.h"
#include "render/texture_store.h"

namespace dv {

namespace {

constexpr int32_t kMaxImageSide = 8192;

// Bounds-checked little-endian reads over the whole file.
class Reader {
public:
    Reader(const uint8_t* data, size_t size, const std::string& path) : data_(data), size_(size), path_(path) {}

    bool Bytes(void* out, size_t n, const char* what) {
        if (size_ - pos_ < n) {
            error_ = path_ + ": file ends at byte " + std::to_string(size_) + " inside " + what + " (needs " +
                     std::to_string(n) + " bytes at offset " + std::to_string(pos_) + ")";
            return false;
        }
        if (n != 0) std::memcpy(out, data_ + pos_, n);
        pos_ += n;
        return true;
    }
    size_t Offset() const { return pos_; }
    const std::string& Error() const { return error_; }

private:
    const uint8_t* data_;
    size_t size_;
    const std::string& path_;
    size_t pos_ = 0;
    std::string error_;
};

}  // namespace

bool ReadFontMemory(const uint8_t* data, size_t size, const std::string& path, BitmapFont& f, Bitmap& image,
                    std::string& error) {
    Reader r(data, size, path);
    const bool header = r.Bytes(f.HeaderA, 4, "the header") && r.Bytes(f.HeaderB, 2, "the header") &&
                        r.Bytes(&f.FirstChar, 1, "the header") && r.Bytes(&f.LastChar, 1, "the header");
    if (!header) {
        error = r.Error();
        return false;
    }
    if (f.LastChar < f.FirstChar) {
        error = path + ": byte 7: last character " + std::to_string(f.LastChar) + " is before the first " +
                std::to_string(f.FirstChar);
        return false;
    }
    f.Glyphs.resize(static_cast<size_t>(f.LastChar - f.FirstChar + 1));
    if (!r.Bytes(f.Glyphs.data(), f.Glyphs.size() * sizeof(Glyph), "the glyph table") ||
        !r.Bytes(&f.TexWidth, 4, "the image size") || !r.Bytes(&f.TexHeight, 4, "the image size") ||
        !r.Bytes(f.Reserved, 16, "the reserved bytes")) {
        error = r.Error();
        return false;
    }
    if (f.TexWidth < 1 || f.TexHeight < 1 || f.TexWidth > kMaxImageSide || f.TexHeight > kMaxImageSide) {
        error = path + ": byte " + std::to_string(r.Offset() - 24) + ": image size " + std::to_string(f.TexWidth) +
                " x " + std::to_string(f.TexHeight) + " is not 1 to " + std::to_string(kMaxImageSide) + " on each side";
        return false;
    }
    const size_t bytes = static_cast<size_t>(f.TexWidth) * static_cast<size_t>(f.TexHeight) * 3;
    image.Width = f.TexWidth;
    image.Height = f.TexHeight;
    image.BitsPerPixel = 24;
    image.Bits.resize(bytes);
    if (!r.Bytes(image.Bits.data(), bytes, "the glyph image")) {
        error = r.Error();
        return false;
    }
    return true;
}

bool LoadFont(BitmapFont& font, const std::string& path, TextureStore& store, std::string& error) {
    std::vector<uint8_t> data;
    const FileRead got = ReadWholeFile(path, kMaxFontFileBytes, data, error);
    if (got == FileRead::Missing) error = "Error..." + path + " not found!";
    BitmapFont parsed;
    Bitmap image;
    if (got == FileRead::Read && ReadFontMemory(data.data(), data.size(), path, parsed, image, error)) {
        parsed.TexSlot = store.FirstFreeSlot();
        parsed.Red = parsed.Green = parsed.Blue = 64;
        store.LoadFromBitmap(parsed.TexSlot, image, true, true);
        font = std::move(parsed);
        return true;
    }
    return false;
}

float TextWidth(const BitmapFont& font, std::string_view text) {
    float width = 0;
    for (const char c : text) {
        const uint8_t ch = static_cast<uint8_t>(c);
        if (ch < font.FirstChar || ch > font.LastChar) continue;
        const size_t index = ch - font.FirstChar;
        if (index < font.Glyphs.size()) width += font.Glyphs[index].Width;
    }
    return width;
}

}  // namespace dv
