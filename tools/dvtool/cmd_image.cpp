// dvtool image IN OUT.pam: decodes a picture and writes its pixels as a PAM file.
#include <cstdio>
#include <string>

#include "files/safe_write.h"
#include "imaging/decode.h"
#include "tools/dvtool/commands.h"

namespace dvtool {
namespace {

// Writes `image` to `path` safely (files/safe_write.h): a failure leaves any old file untouched.
bool WritePam(const dv::Image& image, const std::string& path, std::string& error) {
    dv::SafeFile file;
    if (!file.Create(path, error)) return false;
    const std::string header = "P7\nWIDTH " + std::to_string(image.width) + "\nHEIGHT " + std::to_string(image.height) +
                               "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    file.Write(header.data(), header.size());
    file.Write(image.rgba.data(), image.rgba.size());
    return file.Commit(error);
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
