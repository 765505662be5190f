#include "character/settings.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "files/read_file.h"

namespace dv {

namespace {

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

bool IsDecimalChar(char c) {
    return (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E';
}

// A decimal number with "." or "," as separator; false for anything else (no "inf", "nan",
// hex or trailing text).
bool ParseDecimal(std::string_view field, float& out) {
    std::string text(field);
    for (char& c : text) {
        if (c == ',') c = '.';
        if (!IsDecimalChar(c)) return false;
    }
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first;  // from_chars takes no leading '+'
    double value = 0;
#if defined(__cpp_lib_to_chars)
    const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec != std::errc() || end != last) return false;
#else
    // A library without floating-point from_chars (the browser build's): the text holds only
    // digits, signs, "e" and ".", so strtod in the "C" locale reads the same number.
    char* end = nullptr;
    value = std::strtod(first, &end);
    if (first == last || end != last) return false;
#endif
    out = static_cast<float>(value);
    return std::isfinite(out);  // also rejects a value beyond the range of a float
}

[[noreturn]] void Fail(const std::string& name, int line, const std::string& what) {
    throw SettingsError(name + ": line " + std::to_string(line) + ": " + what);
}

}  // namespace

TurnRates ParseTurnRates(std::string_view text, const std::string& name) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a UTF-8 byte-order mark
    float values[2] = {};
    for (int line = 1; line <= 2; ++line) {
        if (text.empty()) Fail(name, line, "missing (two lines expected: standing and running turn rate)");
        const size_t eol = text.find('\n');
        const std::string_view raw = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        const std::string_view field = Trim(raw);
        if (field.empty()) Fail(name, line, "empty line, a number was expected");
        if (!ParseDecimal(field, values[line - 1]))
            Fail(name, line, "not a number: \"" + std::string(field.substr(0, 40)) + "\"");
    }
    return {values[0], values[1]};
}

TurnRates ReadTurnRates(const std::string& path) {
    std::string text, error;
    const FileRead got = ReadWholeFile(path, kMaxTurnRatesFileBytes, text, error);
    if (got == FileRead::Missing) throw SettingsError(path + ": cannot open the settings file");
    if (got == FileRead::Refused) throw SettingsError(error);
    return ParseTurnRates(text, path);
}

}  // namespace dv
