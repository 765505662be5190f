// Writing a file so that a crash, a kill or a power cut leaves either the old file or the new
// one whole, never a part of either: the bytes go to a temporary file of a unique name created
// beside the target (exclusively, so a file or link planted under that name is never written
// through), which is synced to the disk, renamed over the target, and the folder synced so the
// rename itself survives a power cut. Any failure leaves the old file as it was, removes the
// temporary file and is one line naming the target.
//
// A target that exists and is not a regular file (/dev/stdout, /dev/full, a FIFO a test
// reads) is written straight into instead: renaming over it would replace the device. A FIFO
// without a reader is refused at once rather than waited for.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace dv {

// One file being written. Create, write through Stream() (or Write), then Commit; a SafeFile
// dropped without a successful Commit removes its temporary file and leaves the target alone.
class SafeFile {
public:
    SafeFile() = default;
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;
    ~SafeFile();

    bool Create(const std::string& path, std::string& error);
    // The open stream, for writers that need one (libpng, seeking writers); errors on it are
    // found by Commit.
    std::FILE* Stream() const { return stream_; }
    bool Write(const void* data, size_t size);
    // Flushes, syncs, closes and renames into place. One line in `error` on any failure.
    bool Commit(std::string& error);
    // Drops what was written; the target stays as it was.
    void Abandon();

    bool IsOpen() const { return stream_ != nullptr; }
    const std::string& Path() const { return path_; }

private:
    bool Fail(std::string& error, const std::string& what, int code);

    std::string path_;
    std::string temp_;  // empty when writing straight into a non-regular target
    std::FILE* stream_ = nullptr;
    int writeError_ = 0;  // errno of the first failed Write
};

// The whole file in one call.
bool WriteFileSafely(const std::string& path, const void* data, size_t size, std::string& error);
inline bool WriteFileSafely(const std::string& path, const std::string& text, std::string& error) {
    return WriteFileSafely(path, text.data(), text.size(), error);
}

}  // namespace dv
