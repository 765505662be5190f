// Builds a small map from arbitrary bytes (raw cells with any links, rooms with or without
// cells) and runs every collision query on points taken from the same bytes. The queries
// must neither crash nor hang, whatever the links and coordinates.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "motion/collision.h"

namespace {

class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    template <class T>
    T Get() {
        T v{};
        const size_t n = pos_ + sizeof(T) <= size_ ? sizeof(T) : size_ - pos_;
        std::memcpy(&v, data_ + pos_, n);
        pos_ += n;
        return v;
    }
    bool Empty() const { return pos_ >= size_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// Coordinates near the map (a few rooms of at most 4 x 4 cells) or, rarely, anything at all.
float Coord(Bytes& in) {
    const int16_t raw = in.Get<int16_t>();
    if (raw == INT16_MIN) return in.Get<float>();
    return static_cast<float>(raw) / 64.0f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes in(data, size);
    dv::LevelMap map;
    const int rooms = 1 + in.Get<uint8_t>() % 3;
    for (int i = 0; i < rooms; ++i) {
        dv::LevelRoom r;
        r.Header.Origin = {static_cast<float>(in.Get<int8_t>()), static_cast<float>(in.Get<int8_t>()),
                           static_cast<float>(in.Get<int8_t>())};
        const uint8_t dims = in.Get<uint8_t>();
        r.Header.CellsX = dims % 5;
        r.Header.CellsZ = (dims / 5) % 5;
        r.Header.HeightCells = in.Get<uint8_t>() % 8;
        r.Cells.assign(r.Header.CellsX, std::vector<dv::GridCell>(r.Header.CellsZ));
        for (auto& column : r.Cells)
            for (dv::GridCell& c : column) c = in.Get<dv::GridCell>();
        map.Rooms.push_back(std::move(r));
    }
    map.RoomCount = rooms;

    while (!in.Empty()) {
        const int room = in.Get<uint8_t>() % rooms;
        const dv::Vec3 a{Coord(in), Coord(in), Coord(in)};
        const dv::Vec3 b{Coord(in), Coord(in), Coord(in)};
        const float step = static_cast<float>(in.Get<uint8_t>() % 20);
        const dv::SurfaceHit h = dv::SurfaceQuery(map, room, a.x, a.z);
        if (h.Room < 0 || h.Room >= rooms) __builtin_trap();
        const dv::CellCoord c = dv::WorldToCell(map, room, a.x, a.z);
        const dv::LevelRoom& r = map.Rooms[room];
        if (r.Header.CellsX > 0 && r.Header.CellsZ > 0 &&
            (c.Column < 0 || c.Column >= r.Header.CellsX || c.Row < 0 || c.Row >= r.Header.CellsZ))
            __builtin_trap();
        (void)dv::CellInfoAt(map, room, a.x, a.z);
        (void)dv::CellSurfacesClosed(map, room, a.x, a.z);
        if (std::isfinite(a.x) && std::isfinite(b.x) && dv::VecDistance(a, b) < 4096.0f) {
            (void)dv::SegmentBlockedByLevel(a, b, room, map, step);
            (void)dv::LightSegmentBlocked(a, b, room, map, step);
        }
    }
    return 0;
}
