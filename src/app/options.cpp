#include "app/options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace dv {

namespace {

bool ParseInt(const char* text, int32_t min, int32_t& out) {
    if (text == nullptr || *text == '\0') return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < min || v > INT32_MAX) return false;
    out = static_cast<int32_t>(v);
    return true;
}

// An argument as it appears in a message: control bytes shown as \xNN so the message stays one line.
std::string Shown(std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b != 0x7F) {
            out.push_back(c);
            continue;
        }
        out += "\\x";
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 15]);
    }
    return out;
}

// A finite decimal number, the whole text.
bool ParseNumber(const char* text, float& out) {
    if (text == nullptr || *text == '\0') return false;
    char* end = nullptr;
    errno = 0;
    const float v = std::strtof(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v)) return false;
    out = v;
    return true;
}

bool ParseScreenshot(const std::string& text, ScreenshotRequest& out) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos || colon + 1 >= text.size()) return false;
    const std::string ms = text.substr(0, colon);
    if (!ParseInt(ms.c_str(), 0, out.ClockMs)) return false;
    out.Path = text.substr(colon + 1);
    return true;
}

// "WIDTH x HEIGHT" in pixels, as "800x600", each side at least 240 and at most 16384.
[[maybe_unused]] bool ParseCanvasSize(const std::string& text, int32_t& width, int32_t& height) {
    const size_t x = text.find('x');
    if (x == std::string::npos) return false;
    const std::string w = text.substr(0, x), h = text.substr(x + 1);
    if (!ParseInt(w.c_str(), 240, width) || !ParseInt(h.c_str(), 240, height)) return false;
    return width <= 16384 && height <= 16384;
}

}  // namespace

const char* UsageText() {
    return "usage: dedivirede [--headless] [--data DIR] [--step-ms N] [--replay FILE]... [--trace FILE]\n"
           "                  [--screenshot MS:FILE]... [--quit-after MS] [--stats FILE] [--config DIR]\n"
           "                  [--mute] [--audio-out FILE.wav] [--level FILE] [--at ROOM X Z [HEADING]] [--no-title]\n"
           "                  [--watch] [--author] [--copy-at MS:FROM:TO]... [--help] [--version]\n";
}

bool ParseOptions(int argc, const char* const* argv, Options& out, std::string& error) {
    out = Options{};
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&](const char*& v) {
            if (i + 1 >= argc) {
                error = "option " + Shown(arg) + " needs a value";
                return false;
            }
            v = argv[++i];
            return true;
        };
        const char* v = nullptr;
        if (arg == "--headless") {
            out.Headless = true;
        } else if (arg == "--help" || arg == "-h") {
            out.ShowHelp = true;
        } else if (arg == "--version") {
            out.ShowVersion = true;
        } else if (arg == "--mute") {
            out.Mute = true;
        } else if (arg == "--audio-out") {
            if (!value(v)) return false;
            if (*v == '\0') {
                error = "--audio-out: the file name is empty";
                return false;
            }
            out.AudioOutPath = v;
        } else if (arg == "--no-title") {
            out.NoTitle = true;
        } else if (arg == "--author") {
            out.Author = true;
        } else if (arg == "--watch") {
            out.Watch = true;
        } else if (arg == "--copy-at") {
            if (!value(v)) return false;
            FileCopyRequest copy;
            ScreenshotRequest clockAndRest;
            const std::string rest = ParseScreenshot(v, clockAndRest) ? clockAndRest.Path : std::string();
            const size_t colon = rest.find(':');
            if (colon == std::string::npos || colon == 0 || colon + 1 == rest.size()) {
                error = "--copy-at: '" + Shown(v) + "' is not MS:FROM:TO";
                return false;
            }
            out.Copies.push_back({clockAndRest.ClockMs, rest.substr(0, colon), rest.substr(colon + 1)});
        } else if (arg == "--level") {
            if (!value(v)) return false;
            if (*v == '\0') {
                error = "--level: the file name is empty";
                return false;
            }
            out.LevelPath = v;
        } else if (arg == "--at") {
            if (i + 3 >= argc) {
                error = "--at needs ROOM X Z [HEADING]";
                return false;
            }
            out.At.Given = true;
            out.At.Room = argv[++i];
            for (float* cell : {&out.At.X, &out.At.Z}) {
                if (!ParseNumber(argv[++i], *cell)) {
                    error = "--at: '" + Shown(argv[i]) + "' is not a number of cells";
                    return false;
                }
            }
            // HEADING is optional: taken when the next argument is a number.
            float heading = 0;
            if (i + 1 < argc && ParseNumber(argv[i + 1], heading)) {
                out.At.Heading = heading;
                ++i;
            }
            if (out.At.Room.empty()) {
                error = "--at: the room is empty";
                return false;
            }
        } else if (arg == "--data") {
            if (!value(v)) return false;
            out.DataDir = v;
        } else if (arg == "--step-ms") {
            if (!value(v)) return false;
            if (!ParseInt(v, 1, out.StepMs)) {
                error = "--step-ms: '" + Shown(v) + "' is not a whole number of milliseconds above 0";
                return false;
            }
        } else if (arg == "--replay") {
            if (!value(v)) return false;
            out.ReplayPaths.push_back(v);
        } else if (arg == "--trace") {
            if (!value(v)) return false;
            out.TracePath = v;
        } else if (arg == "--screenshot") {
            if (!value(v)) return false;
            ScreenshotRequest shot;
            if (!ParseScreenshot(v, shot)) {
                error = "--screenshot: '" + Shown(v) + "' is not MS:FILE";
                return false;
            }
            out.Screenshots.push_back(shot);
        } else if (arg == "--quit-after") {
            if (!value(v)) return false;
            if (!ParseInt(v, 0, out.QuitAfterMs)) {
                error = "--quit-after: '" + Shown(v) + "' is not a whole number of milliseconds";
                return false;
            }
        } else if (arg == "--stats") {
            if (!value(v)) return false;
            out.StatsPath = v;
        } else if (arg == "--config") {
            if (!value(v)) return false;
            out.ConfigDir = v;
#if defined(__EMSCRIPTEN__)
        } else if (arg == "--canvas") {
            if (!value(v)) return false;
            if (!ParseCanvasSize(v, out.CanvasWidth, out.CanvasHeight)) {
                error = "--canvas: '" + Shown(v) + "' is not WIDTHxHEIGHT in pixels (240 to 16384 each)";
                return false;
            }
#endif
        } else {
            error = "unknown option '" + Shown(arg) + "'";
            return false;
        }
    }
    return true;
}

}  // namespace dv
