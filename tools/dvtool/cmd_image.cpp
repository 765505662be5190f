// dvtool image IN OUT.pam: decodes a picture and writes its pixels as a PAM file.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "imaging/decode.h"
#include "tools/dvtool/commands.h"

namespace dvtool {
namespace {

// Writes `image` to `path` through a temporary file in the same folder that is renamed
// over `path` only once it is complete, so a failure leaves any old file untouched.
bool WritePam(const dv::Image& image, const std::string& path, std::string& error) {
    const std::string temp = path + ".tmp" + std::to_string(getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) {
            error = temp + ": cannot create: " + std::strerror(errno);
            return false;
        }
        out << "P7\nWIDTH " << image.width << "\nHEIGHT " << image.height
            << "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
        out.write(reinterpret_cast<const char*>(image.rgba.data()), static_cast<std::streamsize>(image.rgba.size()));
        out.close();
        if (!out) {
            error = temp + ": write error";
            std::remove(temp.c_str());
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        error = path + ": cannot replace: " + ec.message();
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace

int RunImage(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: dvtool image IN OUT.pam\n", stderr);
        return 2;
    }
    dv::Image image;
    std::string error;
    if (!dv::DecodeImageFile(argv[1], image, error) || !WritePam(image, argv[2], error)) {
        std::fprintf(stderr, "dvtool image: %s\n", error.c_str());
        return 2;
    }
    return 0;
}

}  // namespace dvtool
