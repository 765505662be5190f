// The check that keeps the browser's PNG decoder from sizing its buffer by a chunk length the
// file does not hold, and from decoding other formats handed to it as PNG.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/bytes.h"
#include "imaging/png_chunks.h"

namespace {

using Bytes = std::vector<uint8_t>;

const std::string kSuite = DV_SOURCE_DIR "/tests/data/pngsuite/png";

std::string Refusal(const Bytes& file) {
    try {
        dv::CheckPngChunks(file.data(), file.size());
    } catch (const dv::ImageError& e) {
        return e.What;
    }
    return "";
}

Bytes Chunk(const char* type, uint32_t length, size_t dataBytes) {
    Bytes c{static_cast<uint8_t>(length >> 24), static_cast<uint8_t>(length >> 16), static_cast<uint8_t>(length >> 8),
            static_cast<uint8_t>(length)};
    c.insert(c.end(), type, type + 4);
    c.resize(c.size() + dataBytes + 4, 0);  // data and CRC (not checked here)
    return c;
}

Bytes Png(std::initializer_list<Bytes> chunks) {
    Bytes file{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (const Bytes& c : chunks) file.insert(file.end(), c.begin(), c.end());
    return file;
}

}  // namespace

TEST(PngChunks, EveryPictureOfTheSuiteThatDecodesPasses) {
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kSuite)) {
        const std::string name = entry.path().filename().string();
        if (name[0] == 'x') continue;  // the suite's broken files
        std::ifstream in(entry.path(), std::ios::binary);
        const Bytes file{std::istreambuf_iterator<char>(in), {}};
        EXPECT_EQ(Refusal(file), "") << name;
        ++checked;
    }
    EXPECT_GT(checked, 100);
}

TEST(PngChunks, AChunkLongerThanTheFileIsRefusedBeforeTheDecoderSizesItsBuffer) {
    const Bytes header = Chunk("IHDR", 13, 13);
    EXPECT_EQ(Refusal(Png({header, Chunk("IDAT", 0xD2044944, 20), Chunk("IEND", 0, 0)})),
              "damaged PNG data (a chunk of 3523496260 bytes, 36 left in the file)");
    // One byte too many, with no CRC after it.
    Bytes over = Png({header, Chunk("IDAT", 21, 20)});
    over.resize(over.size() - 4);
    EXPECT_EQ(Refusal(over), "damaged PNG data (a chunk of 21 bytes, 20 left in the file)");
    // A cut CRC at the end, and bytes after IEND, are the decoder's to judge.
    Bytes cut = Png({header, Chunk("IDAT", 20, 20)});
    cut.resize(cut.size() - 3);
    EXPECT_EQ(Refusal(cut), "");
    EXPECT_EQ(Refusal(Png({header, Chunk("IEND", 0, 0), Chunk("IDAT", 0x7FFFFFFF, 0)})), "");
}

TEST(PngChunks, OtherFormatsNamedPngAreRefusedByTheirSignature) {
    EXPECT_EQ(Refusal(Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10}), "not a PNG (bad signature)");
    EXPECT_EQ(Refusal(Bytes{0x89, 'P', 'N', 'G'}), "not a PNG (bad signature)");
    EXPECT_EQ(Refusal(Bytes{}), "not a PNG (bad signature)");
}
