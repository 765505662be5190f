#include "app/level_list.h"

#include "files/read_file.h"
#include "files/shown_bytes.h"

namespace dv {

namespace {

bool Fail(std::string& error, const std::string& name, int line, const std::string& what) {
    error = name + ":" + std::to_string(line) + ": " + what;
    return false;
}

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// A file of the data folder named as it stands: letters, digits, '_', '-' and '.', no folder.
bool IsPlainFileName(std::string_view name) {
    if (name.empty() || name.front() == '.') return false;
    for (const char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                        c == '-' || c == '.';
        if (!ok) return false;
    }
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// Takes the next blank-separated word off the front of `rest`.
std::string_view NextWord(std::string_view& rest) {
    rest = Trim(rest);
    const size_t end = rest.find_first_of(" \t");
    const std::string_view word = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    return word;
}

bool ParseLine(std::string_view text, const std::string& name, int line, LevelEntry& out, std::string& error) {
    std::string_view rest = text;
    if (NextWord(rest) != "level") return Fail(error, name, line, "expected 'level FILE.lev CARD NAME'");
    const std::string_view file = NextWord(rest), card = NextWord(rest);
    if (file.empty()) return Fail(error, name, line, "missing the level file");
    if (!IsPlainFileName(file) || !EndsWith(file, ".lev"))
        return Fail(error, name, line,
                    "'" + ShownBytes(file) + "' is not a level file name of the data folder (NAME.lev)");
    if (card.empty()) return Fail(error, name, line, "missing the card picture");
    if (!IsPlainFileName(card))
        return Fail(error, name, line, "'" + ShownBytes(card) + "' is not a picture file name of the data folder");
    const std::string_view title = Trim(rest);
    if (title.empty()) return Fail(error, name, line, "missing the level's name");
    if (title.size() > kMaxLevelNameBytes)
        return Fail(error, name, line,
                    "the level's name is longer than " + std::to_string(kMaxLevelNameBytes) + " bytes");
    for (const char c : title) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7e)
            return Fail(error, name, line, "the level's name has a character the font cannot show");
    }
    out = LevelEntry{std::string(file), std::string(card), std::string(title), line};
    return true;
}

}  // namespace

bool ParseLevelList(std::string_view text, const std::string& name, std::vector<LevelEntry>& out, std::string& error) {
    out.clear();
    int line = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view current = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++line;
        if (const size_t hash = current.find('#'); hash != std::string_view::npos) current = current.substr(0, hash);
        current = Trim(current);
        if (current.empty()) continue;
        LevelEntry entry;
        if (!ParseLine(current, name, line, entry, error)) return false;
        for (const LevelEntry& earlier : out) {
            if (earlier.File == entry.File)
                return Fail(error, name, line,
                            entry.File + " is listed twice (first on line " + std::to_string(earlier.Line) + ")");
        }
        if (out.size() == kMaxLevels)
            return Fail(error, name, line, "more than " + std::to_string(kMaxLevels) + " levels");
        out.push_back(std::move(entry));
    }
    if (out.empty()) {
        error = name + ": no levels";
        return false;
    }
    return true;
}

bool ReadLevelList(const std::string& dataDir, std::vector<LevelEntry>& out, std::string& error) {
    const std::string path = dataDir + kLevelListFile;
    std::string text;
    const FileRead got = ReadWholeFile(path, kMaxLevelListBytes, text, error);
    if (got == FileRead::Missing) {
        out.assign(1, LevelEntry{kDefaultLevelFile, "", "", 0});
        return true;
    }
    return got == FileRead::Read && ParseLevelList(text, path, out, error);
}

}  // namespace dv
