// The words of one line of a readable source (a level, the sounds), read left to right with
// the checks every statement needs. Every fault throws SourceError "<file>:<line>: <what>".
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace dv {

// A fault in a readable source. what() is one line: "<file>:<line>: <what was wrong>".
class SourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

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

}  // namespace dv
