#include "imaging/jpeg_tables.h"

#include <string>
#include <utility>

#include "imaging/bytes.h"

namespace dv {

namespace {

constexpr int kNoMarker = 0xFF;
constexpr int kHuffmanTable = 0xC4, kStartOfScan = 0xDA, kEndOfImage = 0xD9, kRestartInterval = 0xDD,
              kQuantTable = 0xDB, kLineCount = 0xDC, kComment = 0xFE;

bool IsFrame(int m) { return m == 0xC0 || m == 0xC1 || m == 0xC2; }
bool IsRestart(int m) { return m >= 0xD0 && m <= 0xD7; }
bool IsSkipped(int m) {
    return m == kRestartInterval || m == kQuantTable || m == kLineCount || m == kComment || (m >= 0xE0 && m <= 0xEF);
}

// The bytes as stb_image reads them: zeros past the end.
struct JpegWalk {
    const uint8_t* Data;
    size_t Size;
    size_t At = 0;
    int Pending = kNoMarker;  // a marker found at the end of a scan

    bool AtEnd() const { return At >= Size; }
    int Byte() { return At < Size ? Data[At++] : 0; }
    int Length() {
        const int high = Byte();
        return high << 8 | Byte();
    }
    int Marker() {
        if (Pending != kNoMarker) return std::exchange(Pending, kNoMarker);
        int x = Byte();
        if (x != 0xFF) return kNoMarker;
        while (x == 0xFF && !AtEnd()) x = Byte();
        return x;
    }
    // Skips a segment's body by its length; false when the length cannot be one.
    bool SkipSegment() {
        const int length = Length();
        if (length < 2) return false;
        At += static_cast<size_t>(length - 2);
        return true;
    }
    // The entropy-coded data of a scan ends at the first marker that is neither a stuffed
    // zero nor a restart.
    void SkipScan() {
        while (!AtEnd()) {
            if (Byte() != 0xFF) continue;
            int c = Byte();
            while (c == 0xFF && !AtEnd()) c = Byte();
            if (c == 0 || IsRestart(c)) continue;
            Pending = c;
            return;
        }
    }
    // The tables of one DHT segment, each read whole even past the segment's end as the
    // decoder does; false when the decoder would stop at the segment.
    bool CheckTables() {
        int left = Length() - 2;
        while (left > 0) {
            const int kind = Byte();
            if (kind >> 4 > 1 || (kind & 15) > 3) return false;
            int codes = 0;
            for (int i = 0; i < 16; ++i) codes += Byte();
            if (codes > 256)
                FailAt(At, "damaged JPEG data (a Huffman table of " + std::to_string(codes) + " codes, at most 256)");
            At += static_cast<size_t>(codes);
            left -= 17 + codes;
        }
        return left == 0;
    }
};

}  // namespace

void CheckJpegHuffmanTables(const uint8_t* data, size_t size) {
    JpegWalk walk{data, size};
    if (walk.Marker() != 0xD8) return;
    // Before the frame header the decoder steps over padding between segments.
    int m = walk.Marker();
    while (!IsFrame(m)) {
        if (m == kHuffmanTable) {
            if (!walk.CheckTables()) return;
        } else if (!IsSkipped(m) || m == kLineCount || !walk.SkipSegment()) {
            return;
        }
        m = walk.Marker();
        while (m == kNoMarker) {
            if (walk.AtEnd()) return;
            m = walk.Marker();
        }
    }
    if (!walk.SkipSegment()) return;
    for (m = walk.Marker(); m != kEndOfImage && !walk.AtEnd(); m = walk.Marker()) {
        if (m == kHuffmanTable) {
            if (!walk.CheckTables()) return;
        } else if (m == kStartOfScan) {
            if (!walk.SkipSegment()) return;
            walk.SkipScan();
        } else if (!IsSkipped(m) || !walk.SkipSegment()) {
            return;
        }
    }
}

}  // namespace dv
