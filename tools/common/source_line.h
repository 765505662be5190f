// The words of one line of a readable source (a level, the sounds), read left to right with
// the checks every statement needs. Every fault throws SourceError "<file>:<line>: <what>".
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace dv {

// A fault in a readable source. what() is one line: "<file>:<line>: <what was wrong>".
class SourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The largest readable source file read (a level, the sounds, the character).
inline constexpr size_t kMaxSourceFileBytes = 16u << 20;

// The line's words, blank-separated, up to a '#' that starts a comment.
std::vector<std::string> SplitWords(const std::string& line);

class SourceLine {
public:
    SourceLine(const std::string& file, int line, std::vector<std::string> words)
        : file_(file), line_(line), words_(std::move(words)) {}

    [[noreturn]] void Fail(const std::string& what) const;
    int Line() const { return line_; }
    bool Done() const { return pos_ >= words_.size(); }
    const std::string& Peek() const { return words_[pos_]; }
    // The next word; "missing <what>" when there is none.
    std::string Word(const std::string& what);
    // The next word as a finite number.
    double Number(const std::string& what);
    // The same, within lo .. hi.
    double Number(const std::string& what, double lo, double hi);
    // The next word as a whole number within lo .. hi.
    int Int(const std::string& what, int lo, int hi);
    // The next word must be `keyword`.
    void Expect(const char* keyword);
    // No words may be left.
    void End() const;
    bool NextIsNumber() const;

private:
    const std::string& file_;
    int line_;
    std::vector<std::string> words_;
    size_t pos_ = 0;
};

// A source's text as numbered lines (a trailing '\r' dropped), handed out in order.
class SourceLines {
public:
    SourceLines(const std::string& text, std::string file);

    bool AtEnd() const { return next_ >= lines_.size(); }
    int NextNumber() const { return static_cast<int>(next_) + 1; }  // of the line Next hands out
    int Count() const { return static_cast<int>(lines_.size()); }
    const std::string& File() const { return file_; }
    // The next line's words.
    SourceLine Next();
    // The next line as it stands.
    const std::string& NextText() { return lines_[next_++]; }
    // Throws SourceError "<file>:<line>: <what>".
    [[noreturn]] void Fail(int line, const std::string& what) const;

private:
    std::string file_;
    std::vector<std::string> lines_;
    size_t next_ = 0;
};

}  // namespace dv
