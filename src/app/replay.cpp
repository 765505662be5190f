#include "app/replay.h"

#include <algorithm>
#include <sstream>

#include "files/read_file.h"
#include "files/shown_bytes.h"
#include "input/keyboard.h"

namespace dv {

namespace {

bool Fail(std::string& error, const std::string& name, int line, const std::string& what) {
    error = name + ":" + std::to_string(line) + ": " + what;
    return false;
}

}  // namespace

bool ParseReplay(const std::string& text, const std::string& name, std::vector<ReplayEvent>& out, std::string& error) {
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
        if (fields >> extra) return Fail(error, name, lineNo, "unexpected '" + ShownBytes(extra) + "' after the key");

        char* end = nullptr;
        const long long clock = std::strtoll(clockText.c_str(), &end, 10);
        if (*end != '\0' || clockText[0] == '-' || clock > INT32_MAX)
            return Fail(error, name, lineNo, "'" + ShownBytes(clockText) + "' is not a clock value in milliseconds");
        if (clock < lastClock)
            return Fail(error, name, lineNo, "clock " + ShownBytes(clockText) + " is earlier than the line before");
        if (verb != "down" && verb != "up")
            return Fail(error, name, lineNo, "'" + ShownBytes(verb) + "' is neither 'down' nor 'up'");
        const int code = KeyCodeFromName(key.c_str());
        if (code < 0) return Fail(error, name, lineNo, "unknown key '" + ShownBytes(key) + "'");

        lastClock = static_cast<int32_t>(clock);
        out.push_back({lastClock, verb == "down", code});
    }
    return true;
}

bool LoadReplayFile(const std::string& path, std::vector<ReplayEvent>& out, std::string& error) {
    std::string text;
    const FileRead got = ReadWholeFile(path, kMaxReplayFileBytes, text, error);
    if (got == FileRead::Missing) error = path + ": cannot open the replay file";
    return got == FileRead::Read && ParseReplay(text, path, out, error);
}

const ReplayEvent* ReplayPlayer::NextDue(int32_t now) {
    if (next_ >= events_.size() || events_[next_].ClockMs > now) return nullptr;
    return &events_[next_++];
}

bool LoadReplayChain(const std::vector<std::string>& paths, ReplayChain& out, std::string& error) {
    std::vector<ReplayPlayer> scripts;
    for (const std::string& path : paths) {
        std::vector<ReplayEvent> events;
        if (!LoadReplayFile(path, events, error)) return false;
        scripts.emplace_back(std::move(events));
    }
    out = ReplayChain(std::move(scripts));
    return true;
}

const ReplayEvent* ReplayChain::NextDue(int32_t now, size_t level, int32_t playStartMs) {
    if (scripts_.empty()) return nullptr;
    if (level == 0 && playStartMs >= 0 && firstPlayStartMs_ < 0) firstPlayStartMs_ = playStartMs;
    if (level > current_ && current_ + 1 < scripts_.size() && playStartMs >= 0) {
        if (!held_.empty()) {
            release_ = ReplayEvent{now, false, held_.back()};
            held_.pop_back();
            return &release_;
        }
        current_ = std::min(level, scripts_.size() - 1);
        offsetMs_ = firstPlayStartMs_ >= 0 ? playStartMs - firstPlayStartMs_ : 0;
    }
    const ReplayEvent* e = scripts_[current_].NextDue(now - offsetMs_);
    if (e == nullptr) return nullptr;
    const auto at = std::find(held_.begin(), held_.end(), e->Key);
    if (e->Down && at == held_.end()) held_.push_back(e->Key);
    if (!e->Down && at != held_.end()) held_.erase(at);
    return e;
}

}  // namespace dv
