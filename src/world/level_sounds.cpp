#include "world/level_sounds.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "files/read_file.h"
#include "files/safe_write.h"

namespace dv {

namespace {

constexpr const char* kFloorSoundNames[kFloorSoundCount] = {"stone", "wood", "metal", "gravel", "water"};

uint32_t Fnv1a(const uint8_t* data, size_t size) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
    return h;
}

bool Fail(const std::string& name, size_t offset, const std::string& what, std::string& error) {
    error = name + ": offset " + std::to_string(offset) + ": " + what;
    return false;
}

// Reads packed records off the front of the byte range, remembering where it is.
class RecordReader {
public:
    RecordReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    template <typename T>
    bool Take(T& out) {
        if (size_ - at_ < sizeof(T)) return false;
        std::memcpy(&out, data_ + at_, sizeof(T));
        at_ += sizeof(T);
        return true;
    }
    const uint8_t* Here() const { return data_ + at_; }
    bool Skip(size_t n) {
        if (size_ - at_ < n) return false;
        at_ += n;
        return true;
    }
    size_t At() const { return at_; }
    size_t Left() const { return size_ - at_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

bool ReadEmitter(RecordReader& in, uint16_t roomCount, const std::string& name, AmbienceEmitter& e,
                 std::string& error) {
    const size_t at = in.At();
    AmbienceEmitterRecord r{};
    if (!in.Take(r)) return Fail(name, at, "file ends inside an ambience emitter", error);
    if (r.Room >= roomCount)
        return Fail(name, at, "emitter in room " + std::to_string(r.Room) + " of " + std::to_string(roomCount), error);
    const Vec3 p = r.Position;
    const float radius = r.Radius, volume = r.Volume;
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
        return Fail(name, at, "emitter position is not a number", error);
    if (!(radius > 0 && radius <= 1e5f)) return Fail(name, at, "emitter radius outside 0..100000", error);
    if (!(volume >= 0 && volume <= 1)) return Fail(name, at, "emitter volume outside 0..1", error);
    const size_t length = strnlen(r.Sound, kSoundNameBytes);
    const std::string_view sound(r.Sound, length);
    if (length == kSoundNameBytes || !IsValidSoundName(sound))
        return Fail(name, at, "emitter sound name is not 1..23 of a-z, 0-9, _", error);
    e = {r.Room, p, radius, volume, std::string(sound)};
    return true;
}

bool ReadFootfalls(RecordReader& in, int32_t previousClip, const std::string& name, ClipFootfalls& f,
                   std::string& error) {
    const size_t at = in.At();
    FootfallRecord r{};
    if (!in.Take(r)) return Fail(name, at, "file ends inside a footfall record", error);
    if (r.Clip < 0 || r.Clip <= previousClip)
        return Fail(name, at, "footfall clip " + std::to_string(r.Clip) + " out of ascending order", error);
    if (r.Count == 0 || r.Count > kMaxFootfallsPerClip)
        return Fail(name, at,
                    std::to_string(r.Count) + " footfalls, 1.." + std::to_string(kMaxFootfallsPerClip) + " per clip",
                    error);
    f.Clip = r.Clip;
    f.Frames.clear();
    for (int i = 0; i < r.Count; ++i) {
        if (i > 0 && r.Frames[i] <= r.Frames[i - 1])
            return Fail(name, at, "footfall frames of clip " + std::to_string(r.Clip) + " not ascending", error);
        f.Frames.push_back(r.Frames[i]);
    }
    return true;
}

}  // namespace

const char* FloorSoundName(FloorSound sound) {
    const auto i = static_cast<size_t>(sound);
    return i < std::size(kFloorSoundNames) ? kFloorSoundNames[i] : "?";
}

bool FloorSoundFromName(std::string_view name, FloorSound& out) {
    for (int i = 0; i < kFloorSoundCount; ++i) {
        if (name == kFloorSoundNames[i]) {
            out = static_cast<FloorSound>(i);
            return true;
        }
    }
    return false;
}

std::string LevelSoundsPath(const std::string& levelPath) {
    const size_t slash = levelPath.find_last_of('/');
    const size_t dot = levelPath.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (hasExtension ? levelPath.substr(0, dot) : levelPath) + ".snd";
}

bool IsValidSoundName(std::string_view name) {
    if (name.empty() || name.size() >= kSoundNameBytes) return false;
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'; });
}

FloorSound LevelSounds::FloorAt(int32_t room, int32_t x, int32_t z) const {
    if (room < 0 || static_cast<size_t>(room) >= Rooms.size()) return FloorSound::Stone;
    const RoomFloorSounds& r = Rooms[static_cast<size_t>(room)];
    if (x < 0 || z < 0 || x >= r.CellsX || z >= r.CellsZ) return FloorSound::Stone;
    return r.Cells[static_cast<size_t>(x * r.CellsZ + z)];
}

const ClipFootfalls* LevelSounds::FootfallsOf(int32_t clip) const {
    const auto it = std::lower_bound(Footfalls.begin(), Footfalls.end(), clip,
                                     [](const ClipFootfalls& f, int32_t c) { return f.Clip < c; });
    return it != Footfalls.end() && it->Clip == clip ? &*it : nullptr;
}

bool ParseLevelSounds(const uint8_t* data, size_t size, const std::string& name, LevelSounds& out, std::string& error) {
    RecordReader in(data, size);
    LevelSoundsHeader h{};
    if (!in.Take(h)) return Fail(name, size, "file ends inside the header", error);
    if (std::memcmp(h.Magic, kLevelSoundsMagic, 4) != 0) return Fail(name, 0, "not a level sound file", error);
    if (h.Version != kLevelSoundsVersion)
        return Fail(name, 4,
                    "version " + std::to_string(h.Version) + ", this game reads " + std::to_string(kLevelSoundsVersion),
                    error);
    if (h.CellCount > kMaxLevelSoundsCells) return Fail(name, 12, "too many floor cells", error);
    const size_t expected = h.RoomCount * sizeof(RoomFloorHeader) + h.CellCount +
                            h.EmitterCount * sizeof(AmbienceEmitterRecord) +
                            h.FootfallClipCount * sizeof(FootfallRecord);
    if (in.Left() != expected)
        return Fail(name, in.At(),
                    std::to_string(in.Left()) + " bytes after the header, the counts need " + std::to_string(expected),
                    error);
    if (Fnv1a(in.Here(), in.Left()) != h.Checksum)
        return Fail(name, 16, "checksum mismatch, the file is damaged", error);

    LevelSounds s;
    s.Rooms.resize(h.RoomCount);
    uint64_t cellsLeft = h.CellCount;
    for (RoomFloorSounds& room : s.Rooms) {
        const size_t at = in.At();
        RoomFloorHeader r{};
        if (!in.Take(r)) return Fail(name, at, "file ends inside a room's floor grid", error);
        const uint64_t cells = uint64_t{r.CellsX} * r.CellsZ;
        if (cells > cellsLeft) return Fail(name, at, "room floor grids hold more cells than the header counts", error);
        cellsLeft -= cells;
        room.CellsX = r.CellsX;
        room.CellsZ = r.CellsZ;
        room.Cells.resize(static_cast<size_t>(cells));
        for (FloorSound& cell : room.Cells) {
            const uint8_t v = *in.Here();
            if (v >= kFloorSoundCount)
                return Fail(name, in.At(),
                            "floor sound " + std::to_string(v) + " of " + std::to_string(kFloorSoundCount), error);
            cell = static_cast<FloorSound>(v);
            in.Skip(1);
        }
    }
    if (cellsLeft != 0) return Fail(name, in.At(), "room floor grids hold fewer cells than the header counts", error);
    s.Emitters.resize(h.EmitterCount);
    for (AmbienceEmitter& e : s.Emitters)
        if (!ReadEmitter(in, h.RoomCount, name, e, error)) return false;
    s.Footfalls.resize(h.FootfallClipCount);
    int32_t previous = -1;
    for (ClipFootfalls& f : s.Footfalls) {
        if (!ReadFootfalls(in, previous, name, f, error)) return false;
        previous = f.Clip;
    }
    out = std::move(s);
    return true;
}

bool LoadLevelSoundsFile(const std::string& path, LevelSounds& out, std::string& error) {
    std::vector<uint8_t> bytes;
    const FileRead got = ReadWholeFile(path, kMaxLevelSoundsFileBytes, bytes, error);
    if (got == FileRead::Missing) error = path + ": cannot open the level sound file";
    return got == FileRead::Read && ParseLevelSounds(bytes.data(), bytes.size(), path, out, error);
}

bool CheckLevelSoundsFit(const LevelSounds& sounds, const LevelMap& map, const std::string& name, std::string& error) {
    if (sounds.Rooms.size() != map.Rooms.size()) {
        error = name + ": " + std::to_string(sounds.Rooms.size()) + " rooms, the level has " +
                std::to_string(map.Rooms.size());
        return false;
    }
    for (size_t i = 0; i < map.Rooms.size(); ++i) {
        const RoomHeader& h = map.Rooms[i].Header;
        if (sounds.Rooms[i].CellsX != h.CellsX || sounds.Rooms[i].CellsZ != h.CellsZ) {
            error = name + ": room " + std::to_string(i) + " is " + std::to_string(sounds.Rooms[i].CellsX) + " x " +
                    std::to_string(sounds.Rooms[i].CellsZ) + " cells, in the level " + std::to_string(h.CellsX) +
                    " x " + std::to_string(h.CellsZ);
            return false;
        }
    }
    return true;
}

bool SerializeLevelSounds(const LevelSounds& sounds, std::vector<uint8_t>& out, std::string& error) {
    const auto put = [&out](const auto& record) {
        const auto* p = reinterpret_cast<const uint8_t*>(&record);
        out.insert(out.end(), p, p + sizeof record);
    };
    if (sounds.Rooms.size() > 0xFFFF || sounds.Emitters.size() > 0xFFFF || sounds.Footfalls.size() > 0xFFFF) {
        error = "too many rooms, emitters or clips for a level sound file";
        return false;
    }
    out.assign(sizeof(LevelSoundsHeader), 0);
    uint64_t cells = 0;
    for (const RoomFloorSounds& r : sounds.Rooms) {
        if (r.CellsX < 0 || r.CellsZ < 0 || r.CellsX > 0xFFFF || r.CellsZ > 0xFFFF ||
            r.Cells.size() != static_cast<size_t>(r.CellsX) * static_cast<size_t>(r.CellsZ)) {
            error = "a room's floor sounds do not match its size";
            return false;
        }
        put(RoomFloorHeader{static_cast<uint16_t>(r.CellsX), static_cast<uint16_t>(r.CellsZ)});
        for (FloorSound c : r.Cells) out.push_back(static_cast<uint8_t>(c));
        cells += r.Cells.size();
    }
    if (cells > kMaxLevelSoundsCells) {
        error = "too many floor cells for a level sound file";
        return false;
    }
    for (const AmbienceEmitter& e : sounds.Emitters) {
        if (!IsValidSoundName(e.Sound)) {
            error = "ambience sound name '" + e.Sound + "' is not 1..23 of a-z, 0-9, _";
            return false;
        }
        AmbienceEmitterRecord r{};
        r.Room = static_cast<uint16_t>(e.Room);
        r.Position = e.Position;
        r.Radius = e.Radius;
        r.Volume = e.Volume;
        std::memcpy(r.Sound, e.Sound.data(), e.Sound.size());
        put(r);
    }
    for (const ClipFootfalls& f : sounds.Footfalls) {
        if (f.Frames.empty() || f.Frames.size() > kMaxFootfallsPerClip) {
            error = "clip " + std::to_string(f.Clip) + " has " + std::to_string(f.Frames.size()) + " footfalls, 1.." +
                    std::to_string(kMaxFootfallsPerClip) + " are stored";
            return false;
        }
        FootfallRecord r{};
        r.Clip = static_cast<int16_t>(f.Clip);
        r.Count = static_cast<uint8_t>(f.Frames.size());
        for (size_t i = 0; i < f.Frames.size(); ++i) r.Frames[i] = static_cast<uint8_t>(f.Frames[i]);
        put(r);
    }
    LevelSoundsHeader h{};
    std::memcpy(h.Magic, kLevelSoundsMagic, 4);
    h.Version = kLevelSoundsVersion;
    h.RoomCount = static_cast<uint16_t>(sounds.Rooms.size());
    h.EmitterCount = static_cast<uint16_t>(sounds.Emitters.size());
    h.FootfallClipCount = static_cast<uint16_t>(sounds.Footfalls.size());
    h.CellCount = static_cast<uint32_t>(cells);
    h.Checksum = Fnv1a(out.data() + sizeof h, out.size() - sizeof h);
    std::memcpy(out.data(), &h, sizeof h);
    return true;
}

bool WriteLevelSoundsFile(const std::string& path, const LevelSounds& sounds, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!SerializeLevelSounds(sounds, bytes, error)) {
        error = path + ": " + error;
        return false;
    }
    return WriteFileSafely(path, bytes.data(), bytes.size(), error);
}

}  // namespace dv
