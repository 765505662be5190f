#include "tools/common/source_line.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

namespace dv {

namespace {

std::string Format(double v) {
    std::ostringstream s;
    s << v;
    return s.str();
}

}  // namespace

std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line.substr(0, line.find('#')));
    std::string w;
    while (in >> w) words.push_back(w);
    return words;
}

SourceLines::SourceLines(const std::string& text, std::string file) : file_(std::move(file)) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines_.push_back(line);
    }
}

SourceLine SourceLines::Next() {
    const int number = NextNumber();
    return SourceLine(file_, number, SplitWords(lines_[next_++]));
}

void SourceLines::Fail(int line, const std::string& what) const { SourceLine(file_, line, {}).Fail(what); }

void SourceLine::Fail(const std::string& what) const {
    throw SourceError(file_ + ":" + std::to_string(line_) + ": " + what);
}

std::string SourceLine::Word(const std::string& what) {
    if (Done()) Fail("missing " + what);
    return words_[pos_++];
}

double SourceLine::Number(const std::string& what) {
    const std::string w = Word(what);
    char* end = nullptr;
    const double v = std::strtod(w.c_str(), &end);
    if (end == w.c_str() || *end != '\0' || !std::isfinite(v)) Fail(what + " '" + w + "' is not a number");
    return v;
}

double SourceLine::Number(const std::string& what, double lo, double hi) {
    const std::string w = pos_ < words_.size() ? words_[pos_] : std::string();
    const double v = Number(what);
    if (v < lo || v > hi) Fail(what + " " + w + " is out of range " + Format(lo) + ".." + Format(hi));
    return v;
}

int SourceLine::Int(const std::string& what, int lo, int hi) {
    const std::string w = Word(what);
    char* end = nullptr;
    const long v = std::strtol(w.c_str(), &end, 10);
    if (end == w.c_str() || *end != '\0') Fail(what + " '" + w + "' is not a whole number");
    if (v < lo || v > hi) Fail(what + " " + w + " is out of range " + std::to_string(lo) + ".." + std::to_string(hi));
    return static_cast<int>(v);
}

void SourceLine::Expect(const char* keyword) {
    const std::string w = Word(keyword);
    if (w != keyword) Fail(std::string("expected '") + keyword + "', found '" + w + "'");
}

void SourceLine::End() const {
    if (!Done()) Fail("unexpected '" + words_[pos_] + "'");
}

bool SourceLine::NextIsNumber() const {
    if (Done()) return false;
    char* end = nullptr;
    std::strtod(words_[pos_].c_str(), &end);
    return end != words_[pos_].c_str() && *end == '\0';
}

}  // namespace dv
