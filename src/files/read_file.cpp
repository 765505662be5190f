#include "files/read_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>

namespace dv {

namespace {

// Closes the descriptor it holds when it goes.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int Get() const { return fd_; }

private:
    int fd_;
};

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a plain file";
}

FileRead Refuse(std::string& error, const std::string& path, const std::string& what) {
    error = path + ": " + what;
    return FileRead::Refused;
}

// Reads the open file to its end, failing once it holds more than maxBytes (a file that grew
// after it was measured).
template <class Buffer>
FileRead ReadAll(int fd, const std::string& path, size_t expected, size_t maxBytes, Buffer& out, std::string& error) {
    out.resize(expected);
    size_t used = 0;
    for (;;) {
        if (used == out.size()) {
            if (out.size() > maxBytes) break;
            out.resize(out.size() + 4096);
        }
        const ssize_t got = ::read(fd, out.data() + used, out.size() - used);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            out.clear();
            return Refuse(error, path, std::string("cannot read the file: ") + std::strerror(errno));
        }
        if (got == 0) break;
        used += static_cast<size_t>(got);
    }
    if (used > maxBytes) {
        out.clear();
        return Refuse(error, path, "too large: it grew past " + ByteSizeText(maxBytes) + " while it was read");
    }
    out.resize(used);
    return FileRead::Read;
}

template <class Buffer>
FileRead ReadWhole(const std::string& path, size_t maxBytes, Buffer& out, std::string& error) {
    out.clear();
    // O_NONBLOCK: opening a FIFO that has no writer must not wait for one.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.Get() < 0) {
        const int code = errno;
        error = path + ": cannot open the file: " + std::strerror(code);
        return code == ENOENT || code == ENOTDIR ? FileRead::Missing : FileRead::Refused;
    }
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0)
        return Refuse(error, path, std::string("cannot read the file: ") + std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        return Refuse(error, path, std::string("not a regular file (") + KindOf(info.st_mode) + ")");
    const auto size = static_cast<uint64_t>(info.st_size);
    if (size > maxBytes)
        return Refuse(error, path, "too large: " + ByteSizeText(size) + ", at most " + ByteSizeText(maxBytes));
    const int flags = ::fcntl(file.Get(), F_GETFL);
    if (flags >= 0) ::fcntl(file.Get(), F_SETFL, flags & ~O_NONBLOCK);
    return ReadAll(file.Get(), path, static_cast<size_t>(size), maxBytes, out, error);
}

}  // namespace

FileRead ReadWholeFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& bytes, std::string& error) {
    return ReadWhole(path, maxBytes, bytes, error);
}

FileRead ReadWholeFile(const std::string& path, size_t maxBytes, std::string& text, std::string& error) {
    return ReadWhole(path, maxBytes, text, error);
}

std::string ByteSizeText(uint64_t bytes) {
    static constexpr const char* kUnits[] = {"bytes", "kB", "MB", "GB", "TB"};
    size_t unit = 0;
    while (unit + 1 < std::size(kUnits) && bytes >= 1024 && bytes % 1024 == 0) {
        bytes /= 1024;
        ++unit;
    }
    while (unit + 1 < std::size(kUnits) && bytes >= 10 * 1024) {
        bytes /= 1024;
        ++unit;
    }
    return std::to_string(bytes) + " " + kUnits[unit];
}

}  // namespace dv
