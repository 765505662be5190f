// The check that keeps the browser's JPEG decoder from building a Huffman table of more than
// 256 codes: it must find such a table wherever the decoder would read it, and nowhere else.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/bytes.h"
#include "imaging/jpeg_tables.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A DHT segment of one table whose sixteen counts add up to `codes`.
Bytes Table(int codes) {
    Bytes counts(16, 0);
    for (int i = 0; codes > 0; ++i, codes -= 255)
        counts[static_cast<size_t>(i)] = static_cast<uint8_t>(std::min(codes, 255));
    int total = 0;
    for (uint8_t c : counts) total += c;
    const int length = 2 + 17 + total;
    Bytes segment{0xFF, 0xC4, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length & 0xFF), 0x10};
    segment.insert(segment.end(), counts.begin(), counts.end());
    segment.resize(segment.size() + static_cast<size_t>(total), 0x01);
    return segment;
}

const Bytes kStart{0xFF, 0xD8};
const Bytes kProgressiveFrame{0xFF, 0xC2, 0x00, 0x0B, 0x08, 0x00, 0x08, 0x00, 0x08, 0x01, 0x01, 0x11, 0x00};
const Bytes kScanHeader{0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00};
// Entropy-coded data with a stuffed 0xFF, a restart marker and fill bytes before the next marker.
const Bytes kScanData{0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD0, 0x56, 0xFF, 0xFF};
const Bytes kEnd{0xFF, 0xD9};

std::string Refusal(const Bytes& file) {
    try {
        dv::CheckJpegHuffmanTables(file.data(), file.size());
    } catch (const dv::ImageError& e) {
        return e.What;
    }
    return "";
}

}  // namespace

TEST(JpegTables, ATableOfMoreThan256CodesIsRefusedWhereverTheDecoderReadsIt) {
    const std::string refused = "damaged JPEG data (a Huffman table of 257 codes, at most 256)";
    EXPECT_EQ(Refusal(kStart + Table(257) + kProgressiveFrame), refused);
    // Padding between segments before the frame is stepped over.
    EXPECT_EQ(Refusal(kStart + Table(3) + Bytes{0x00, 0x00} + Table(257) + kProgressiveFrame), refused);
    // After the first scan of a progressive picture, past stuffed bytes and a restart.
    EXPECT_EQ(Refusal(kStart + kProgressiveFrame + Table(3) + kScanHeader + kScanData + Table(257) + kEnd), refused);
    EXPECT_EQ(Refusal(kStart + kProgressiveFrame + kScanHeader + kScanData + Table(3) + kScanHeader + kScanData +
                      Table(4000) + kEnd),
              "damaged JPEG data (a Huffman table of 4000 codes, at most 256)");
    // A segment too short for its table: the decoder reads the table whole all the same.
    Bytes shortSegment = Table(257);
    shortSegment[3] = 3;
    EXPECT_EQ(Refusal(kStart + shortSegment + kProgressiveFrame), refused);
}

TEST(JpegTables, SoundTablesAndBytesThatOnlyLookLikeATableAreLeftToTheDecoder) {
    EXPECT_EQ(Refusal(kStart + Table(256) + kProgressiveFrame + kScanHeader + kScanData + Table(12) + kEnd), "");
    // Inside a comment, and behind a stuffed zero in the scan, 0xFF 0xC4 is no marker.
    const Bytes table = Table(257);
    const Bytes comment = Bytes{0xFF, 0xFE, 0x00, 0x17} + Bytes(table.begin(), table.begin() + 21);
    EXPECT_EQ(Refusal(kStart + comment + kProgressiveFrame + kEnd), "");
    EXPECT_EQ(Refusal(kStart + kProgressiveFrame + kScanHeader + Bytes{0xFF, 0x00, 0xC4, 0x01, 0x20} + kEnd), "");
    // Not a JPEG, or one cut short: nothing to say.
    EXPECT_EQ(Refusal(Bytes{0x89, 'P', 'N', 'G'}), "");
    EXPECT_EQ(Refusal(kStart + Bytes{0xFF, 0xC4, 0x00}), "");
}
