// The settings file "set.txt": two lines, the turn rates standing and running, in degrees
// per millisecond.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace dv {

// A missing, unreadable or malformed settings file. what() is one line:
// "<file>: line <n>: <what was wrong>" (or "<file>: <what>" when it cannot be read).
class SettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TurnRates {
    float Standing;
    float Running;
};

// Parses the text of a settings file; `name` is used in messages. Each of the first two lines
// holds one finite decimal number, with "." or "," as the decimal separator whatever the
// locale, optionally surrounded by blanks; a leading UTF-8 byte-order mark and later lines
// are ignored. Throws SettingsError.
TurnRates ParseTurnRates(std::string_view text, const std::string& name);
inline constexpr size_t kMaxTurnRatesFileBytes = 64u << 10;
// Reads and parses the file at `path`. Throws SettingsError.
TurnRates ReadTurnRates(const std::string& path);

}  // namespace dv
