// Reading a whole file into memory, for every reader of the project: only a regular file, only
// up to a size the caller names for its format, and one line naming the file when refused. A
// FIFO or a device named like a data file is refused at once instead of blocking the game, and
// a file larger than its format may be is refused before a byte of it is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dv {

// What ReadWholeFile found at the path. Readers for which a missing file has a meaning of its
// own (the defaults, an empty save slot) tell Missing from the rest.
enum class FileRead { Read, Missing, Refused };

// Reads the regular file at `path`, of at most `maxBytes` bytes, into `bytes`. Anything else
// (no file, a folder, a FIFO, a device, a larger file, a read error) leaves `bytes` empty and
// writes one line to `error` that starts with the path: "PATH: not a regular file (a FIFO)",
// "PATH: too large: 3 GB, at most 64 MB".
FileRead ReadWholeFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& bytes, std::string& error);
FileRead ReadWholeFile(const std::string& path, size_t maxBytes, std::string& text, std::string& error);

// "512 bytes", "64 kB", "3 GB": a size for messages, in powers of 1024, rounded down.
std::string ByteSizeText(uint64_t bytes);

}  // namespace dv
