#include "files/safe_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace dv {

namespace {

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Makes `path.tmpXXXXXXXX` with a random suffix that no file has, created exclusively
// (O_EXCL never follows or reuses what is there). Returns the descriptor, or -1 with errno.
int CreateTemporary(const std::string& path, std::string& temp) {
    std::random_device random;
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int attempt = 0; attempt < 64; ++attempt) {
        temp = path + ".tmp";
        uint64_t bits = (static_cast<uint64_t>(random()) << 32) ^ random();
        for (int i = 0; i < 10; ++i, bits /= 36) temp += kDigits[bits % 36];
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// Opens an existing device, FIFO or the like for writing; a FIFO without a reader fails with
// ENXIO at once instead of blocking.
int OpenSpecial(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

// Syncs the folder so that a rename inside it is on the disk. File systems that cannot sync a
// folder say so with EINVAL; that is no failure of the write.
int SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno == EACCES ? 0 : errno;
    const int code = ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS ? 0 : errno;
    ::close(fd);
    return code;
}

}  // namespace

SafeFile::~SafeFile() { Abandon(); }

bool SafeFile::Create(const std::string& path, std::string& error) {
    Abandon();
    path_ = path;
    struct stat info {};
    const bool special = ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
    const int fd = special ? OpenSpecial(path) : CreateTemporary(path, temp_);
    if (fd < 0) {
        const int code = errno;
        temp_.clear();
        return Fail(error, "cannot create the file", code);
    }
    stream_ = ::fdopen(fd, "wb");
    if (stream_ == nullptr) {
        const int code = errno;
        ::close(fd);
        return Fail(error, "cannot create the file", code);
    }
    return true;
}

bool SafeFile::Write(const void* data, size_t size) {
    if (stream_ == nullptr) return false;
    if (size == 0 || std::fwrite(data, 1, size, stream_) == size) return true;
    if (writeError_ == 0) writeError_ = errno != 0 ? errno : EIO;
    return false;
}

bool SafeFile::Commit(std::string& error) {
    if (stream_ == nullptr) return Fail(error, "cannot write the file", EBADF);
    int code = writeError_;
    errno = 0;
    if (code == 0 && (std::fflush(stream_) != 0 || std::ferror(stream_))) code = errno != 0 ? errno : EIO;
    if (code == 0 && !temp_.empty() && ::fsync(::fileno(stream_)) != 0) code = errno;
    errno = 0;
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    if (code == 0 && !closed) code = errno != 0 ? errno : EIO;
    if (code != 0) return Fail(error, "cannot write the file", code);
    if (temp_.empty()) return true;
    if (::rename(temp_.c_str(), path_.c_str()) != 0) return Fail(error, "cannot put the new file in place", errno);
    temp_.clear();
    if (const int folderCode = SyncFolder(FolderOf(path_)); folderCode != 0)
        return Fail(error, "written, but its folder could not be synced", folderCode);
    return true;
}

void SafeFile::Abandon() {
    if (stream_ != nullptr) std::fclose(stream_);
    stream_ = nullptr;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
    writeError_ = 0;
}

bool SafeFile::Fail(std::string& error, const std::string& what, int code) {
    Abandon();
    error = path_ + ": " + what + ": " + std::strerror(code);
    return false;
}

bool WriteFileSafely(const std::string& path, const void* data, size_t size, std::string& error) {
    SafeFile file;
    if (!file.Create(path, error)) return false;
    file.Write(data, size);  // a failed write is found and named by Commit
    return file.Commit(error);
}

}  // namespace dv
