// The check that keeps the browser's Vorbis decoder from sizing its tables from a codebook
// whose entries times dimensions it would compute in 32 bits: it must read the setup header
// as the decoder does, across pages and past earlier codebooks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/vorbis_setup.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Bits lowest first, as Vorbis packs them.
struct BitWriter {
    Bytes Out;
    int Used = 0;
    void Put(uint32_t value, int n) {
        for (int i = 0; i < n; ++i, ++Used) {
            if (Used % 8 == 0) Out.push_back(0);
            Out.back() |= static_cast<uint8_t>((value >> i & 1) << (Used % 8));
        }
    }
};

struct Book {
    uint32_t Dimensions, Entries;
    uint32_t Lookup = 0;  // 1: a lookup table of one-bit values follows (none written)
};

// A setup header of the given codebooks, each unordered, not sparse, every code 4 bits long
// and with the lookup table the book asks for.
Bytes SetupHeader(const std::vector<Book>& books) {
    BitWriter w;
    for (char c : std::string("\x05vorbis")) w.Put(static_cast<uint8_t>(c), 8);
    w.Put(static_cast<uint32_t>(books.size() - 1), 8);
    for (const Book& b : books) {
        w.Put(0x564342, 24);
        w.Put(b.Dimensions, 16);
        w.Put(b.Entries, 24);
        w.Put(0, 1);
        w.Put(0, 1);
        for (uint32_t i = 0; i < b.Entries && i < 100000; ++i) w.Put(3, 5);
        w.Put(b.Lookup, 4);
        if (b.Lookup != 0) {
            w.Put(0, 32);
            w.Put(0, 32);
            w.Put(0, 4);
            w.Put(0, 1);
        }
    }
    return w.Out;
}

// Ogg pages carrying the three header packets, each page at most `perPage` body bytes.
// A comment header of no comments but `count`, whose lengths are not there.
Bytes Comments(uint32_t count) {
    Bytes c{3, 'v', 'o', 'r', 'b', 'i', 's', 2, 0, 0, 0, 'd', 'v'};
    for (int i = 0; i < 4; ++i) c.push_back(static_cast<uint8_t>(count >> (8 * i)));
    c.push_back(1);
    return c;
}

Bytes Stream(const Bytes& setup, size_t perPage = 65025, const Bytes& comments = Comments(0)) {
    const std::vector<Bytes> packets{Bytes(30, 1), comments, setup};
    Bytes body, lacing, out;
    auto flush = [&] {
        const Bytes head{'O', 'g', 'g', 'S', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        out.insert(out.end(), head.begin(), head.end());
        out.push_back(static_cast<uint8_t>(lacing.size()));
        out.insert(out.end(), lacing.begin(), lacing.end());
        out.insert(out.end(), body.begin(), body.end());
        body.clear();
        lacing.clear();
    };
    for (const Bytes& p : packets) {
        size_t at = 0;
        for (;;) {
            const size_t n = std::min<size_t>(255, p.size() - at);
            if (body.size() + n > perPage || lacing.size() == 255) flush();
            lacing.push_back(static_cast<uint8_t>(n));
            body.insert(body.end(), p.begin() + static_cast<std::ptrdiff_t>(at),
                        p.begin() + static_cast<std::ptrdiff_t>(at + n));
            at += n;
            if (n < 255) break;
        }
    }
    flush();
    return out;
}

std::string Refusal(const Bytes& stream) {
    std::string why;
    return dv::CheckVorbisCodebooks(stream.data(), stream.size(), why) ? "" : why;
}

}  // namespace

TEST(VorbisSetup, ACodebookTooLargeForTheDecoderIsRefused) {
    // 4 * 15790321 * 68 wraps round to 16 bytes in 32 bits.
    EXPECT_EQ(Refusal(Stream(SetupHeader({{68, 15790321}}))), "codebook 0 of 15790321 entries of 68 dimensions");
    EXPECT_EQ(Refusal(Stream(SetupHeader({{65535, 16777215}}))), "codebook 0 of 16777215 entries of 65535 dimensions");
    // Past two sound codebooks, with the header spread over pages of 300 bytes.
    EXPECT_EQ(Refusal(Stream(SetupHeader({{2, 81}, {1, 700}, {2048, 4096}}), 300)),
              "codebook 2 of 4096 entries of 2048 dimensions");
    // Its count of values overflows the decoder's float arithmetic.
    EXPECT_EQ(Refusal(Stream(SetupHeader({{200, 2, 1}}))), "codebook 0 of 200 dimensions, too many to size");
}

TEST(VorbisSetup, CommentLengthsPastTheirPacketAreRefused) {
    const Bytes sound = SetupHeader({{2, 81}});
    EXPECT_EQ(Refusal(Stream(sound, 65025, Comments(0x3fffffff))), "the comments run past their packet");
    Bytes vendor = Comments(0);
    vendor[7] = 0xFF;
    EXPECT_EQ(Refusal(Stream(sound, 65025, vendor)), "the comments run past their packet");
}

TEST(VorbisSetup, SoundCodebooksAndStreamsThatNeverReachThemAreLeftToTheDecoder) {
    EXPECT_EQ(Refusal(Stream(SetupHeader({{2, 81}, {8, 6561}, {1, 256}}), 300)), "");
    Bytes notSetup = SetupHeader({{68, 15790321}});
    notSetup[0] = 3;
    EXPECT_EQ(Refusal(Stream(notSetup)), "");
    const Bytes cut = Stream(SetupHeader({{68, 15790321}}));
    for (const size_t length : {100, 200, 230})
        EXPECT_EQ(Refusal(Bytes(cut.begin(), cut.begin() + static_cast<std::ptrdiff_t>(length))), "");
    EXPECT_EQ(Refusal(Bytes{'R', 'I', 'F', 'F'}), "");
}
