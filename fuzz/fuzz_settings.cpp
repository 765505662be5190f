// Any settings text either parses into two finite turn rates or throws SettingsError.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "character/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const dv::TurnRates r =
            dv::ParseTurnRates(std::string_view(reinterpret_cast<const char*>(data), size), "set.txt");
        if (!std::isfinite(r.Standing) || !std::isfinite(r.Running)) std::abort();
    } catch (const dv::SettingsError&) {
    }
    return 0;
}
