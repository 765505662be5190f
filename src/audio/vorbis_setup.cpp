#include "audio/vorbis_setup.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace dv {

namespace {

// Packet `index` of the stream: page bodies joined by their segment tables. Empty when the
// stream ends first or a page does not begin where one should.
std::vector<uint8_t> Packet(const uint8_t* data, size_t size, int index) {
    std::vector<uint8_t> packet;
    int packets = 0;
    size_t at = 0;
    while (at + 27 <= size && std::memcmp(data + at, "OggS", 4) == 0) {
        const size_t segments = data[at + 26];
        size_t body = at + 27 + segments;
        if (body > size) break;
        for (size_t i = 0; i < segments; ++i) {
            const size_t length = data[at + 27 + i];
            if (packets == index)
                packet.insert(packet.end(), data + std::min(body, size), data + std::min(body + length, size));
            body += length;
            if (length < 255 && packets++ == index) return packet;
        }
        at = body;
    }
    return {};
}

// Bits of a packet, lowest first; zeros past its end, as the decoder reads them.
struct BitReader {
    const std::vector<uint8_t>& Bytes;
    uint64_t At = 0;

    uint32_t Get(int n) {
        uint32_t value = 0;
        for (int i = 0; i < n; ++i, ++At) {
            const uint64_t byte = At >> 3;
            if (byte >= Bytes.size()) return value;
            value |= static_cast<uint32_t>(Bytes[byte] >> (At & 7) & 1) << i;
        }
        return value;
    }
    bool Past() const { return At >= Bytes.size() * 8ull; }
};

int BitsFor(int n) {
    int bits = 0;
    for (; n > 0; n >>= 1) ++bits;
    return bits;
}

constexpr int kUnsizable = -2;

// The decoder's count of values of a lookup-1 codebook, computed as it does; -1 for none,
// kUnsizable when its float arithmetic would leave the range of int on the way (what the
// decoder then does depends on the machine).
int LookupOneValues(int entries, int dimensions) {
    const auto whole = [](float v, int& out) {
        if (!(v >= -2147483648.0f && v < 2147483648.0f)) return false;
        out = static_cast<int>(v);
        return true;
    };
    int r = 0, power = 0;
    if (!whole(std::floor(std::exp(std::log(static_cast<float>(entries)) / static_cast<float>(dimensions))), r) ||
        !whole(std::floor(std::pow(static_cast<float>(r) + 1, dimensions)), power))
        return kUnsizable;
    if (power <= entries) ++r;
    if (std::pow(static_cast<float>(r) + 1, dimensions) <= entries) return -1;
    if (!whole(std::floor(std::pow(static_cast<float>(r), dimensions)), power)) return kUnsizable;
    if (power > entries) return -1;
    return r;
}

uint32_t Word(const std::vector<uint8_t>& p, size_t at) {
    return static_cast<uint32_t>(p[at]) | static_cast<uint32_t>(p[at + 1]) << 8 |
           static_cast<uint32_t>(p[at + 2]) << 16 | static_cast<uint32_t>(p[at + 3]) << 24;
}

// The decoder sizes the vendor and each comment by the lengths the comment header gives,
// before it reads them: each must lie inside the packet.
bool CommentsFit(const std::vector<uint8_t>& packet) {
    if (packet.size() < 7 || packet[0] != 3 || std::memcmp(packet.data() + 1, "vorbis", 6) != 0) return true;
    size_t at = 7;
    const auto text = [&] {
        if (at + 4 > packet.size()) return false;
        const uint32_t length = Word(packet, at);
        at += 4;
        if (length > packet.size() - at) return false;
        at += length;
        return true;
    };
    if (!text() || at + 4 > packet.size()) return false;
    const uint32_t comments = Word(packet, at);
    at += 4;
    for (uint32_t i = 0; i < comments; ++i) {
        if (!text()) return false;
    }
    return true;
}

}  // namespace

bool CheckVorbisCodebooks(const uint8_t* data, size_t size, std::string& why) {
    if (!CommentsFit(Packet(data, size, 1))) {
        why = "the comments run past their packet";
        return false;
    }
    const std::vector<uint8_t> packet = Packet(data, size, 2);
    if (packet.size() < 7 || packet[0] != 5 || std::memcmp(packet.data() + 1, "vorbis", 6) != 0) return true;
    BitReader bits{packet, 7 * 8};
    const int codebooks = static_cast<int>(bits.Get(8)) + 1;
    for (int book = 0; book < codebooks && !bits.Past(); ++book) {
        if (bits.Get(24) != 0x564342) return true;
        const int dimensions = static_cast<int>(bits.Get(16));
        const int entries = static_cast<int>(bits.Get(24));
        if (static_cast<uint64_t>(entries) * static_cast<uint64_t>(dimensions) > kMaxCodebookValues) {
            why = "codebook " + std::to_string(book) + " of " + std::to_string(entries) + " entries of " +
                  std::to_string(dimensions) + " dimensions";
            return false;
        }
        if (dimensions == 0 && entries != 0) return true;
        if (bits.Get(1) != 0) {
            int current = 0, length = static_cast<int>(bits.Get(5)) + 1;
            while (current < entries) {
                const int n = static_cast<int>(bits.Get(BitsFor(entries - current)));
                if (length >= 32 || current + n > entries) return true;
                current += n;
                ++length;
            }
        } else {
            const bool sparse = bits.Get(1) != 0;
            for (int i = 0; i < entries && !bits.Past(); ++i) {
                if (sparse && bits.Get(1) == 0) continue;
                if (bits.Get(5) + 1 == 32) return true;
            }
        }
        const uint32_t lookup = bits.Get(4);
        if (lookup > 2) return true;
        if (lookup == 0) continue;
        bits.Get(32);
        bits.Get(32);
        const int valueBits = static_cast<int>(bits.Get(4)) + 1;
        bits.Get(1);
        const int64_t values =
            lookup == 1 ? LookupOneValues(entries, dimensions) : static_cast<int64_t>(entries) * dimensions;
        if (values == kUnsizable) {
            why = "codebook " + std::to_string(book) + " of " + std::to_string(dimensions) +
                  " dimensions, too many to size";
            return false;
        }
        if (values <= 0) return true;
        bits.At += static_cast<uint64_t>(values) * static_cast<uint64_t>(valueBits);
    }
    return true;
}

}  // namespace dv
