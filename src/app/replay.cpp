#include "app/replay.h"

#include <fstream>
#include <sstream>

#include "input/keyboard.h"

namespace dv {

namespace {

bool Fail(std::string& error, const std::string& name, int line, const std::string& what) {
    error = name + ":" + std::to_string(line) + ": " + what;
    return false;
}

}  // namespace

bool ParseReplay(const std::string& text, const std::string& name, std::vector<ReplayEvent>& out,
                 std::string& error) {
    out.clear();
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    int32_t lastClock = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::istringstream fields(line);
        std::string clockText, verb, key, extra;
        if (!(fields >> clockText)) continue;  // blank or comment-only line
        if (!(fields >> verb >> key)) return Fail(error, name, lineNo, "expected '<clock-ms> <down|up> <key>'");
        if (fields >> extra) return Fail(error, name, lineNo, "unexpected '" + extra + "' after the key");

        char* end = nullptr;
        const long long clock = std::strtoll(clockText.c_str(), &end, 10);
        if (*end != '\0' || clockText[0] == '-' || clock > INT32_MAX)
            return Fail(error, name, lineNo, "'" + clockText + "' is not a clock value in milliseconds");
        if (clock < lastClock)
            return Fail(error, name, lineNo, "clock " + clockText + " is earlier than the line before");
        if (verb != "down" && verb != "up")
            return Fail(error, name, lineNo, "'" + verb + "' is neither 'down' nor 'up'");
        const int code = KeyCodeFromName(key.c_str());
        if (code < 0) return Fail(error, name, lineNo, "unknown key '" + key + "'");

        lastClock = static_cast<int32_t>(clock);
        out.push_back({lastClock, verb == "down", code});
    }
    return true;
}

bool LoadReplayFile(const std::string& path, std::vector<ReplayEvent>& out, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path + ": cannot open the replay file";
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return ParseReplay(text.str(), path, out, error);
}

const ReplayEvent* ReplayPlayer::NextDue(int32_t now) {
    if (next_ >= events_.size() || events_[next_].clockMs > now) return nullptr;
    return &events_[next_++];
}

}  // namespace dv
