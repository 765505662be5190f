// The command line on arbitrary arguments (the input split at NUL bytes): either options
// within their ranges, or a one-line error.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args{"dedivirede"};
    std::string current;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\0') {
            args.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    if (!current.empty()) args.push_back(current);
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);

    dv::Options options;
    std::string error;
    if (!dv::ParseOptions(static_cast<int>(args.size()), argv.data(), options, error)) {
        if (error.empty() || error.find('\n') != std::string::npos) std::abort();
        return 0;
    }
    if (options.StepMs < 0 || options.QuitAfterMs < -1) std::abort();
    for (const dv::ScreenshotRequest& s : options.Screenshots) {
        if (s.ClockMs < 0 || s.Path.empty()) std::abort();
    }
    return 0;
}
