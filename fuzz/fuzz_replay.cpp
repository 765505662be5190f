// Replay scripts on arbitrary text: either events in clock order with real key codes, or a
// one-line error that names the file and the line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/replay.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<dv::ReplayEvent> events;
    std::string error;
    if (!dv::ParseReplay(text, "fuzz.rep", events, error)) {
        if (error.rfind("fuzz.rep:", 0) != 0 || error.find('\n') != std::string::npos) std::abort();
        return 0;
    }
    int32_t last = 0;
    for (const dv::ReplayEvent& e : events) {
        if (e.ClockMs < last || e.Key < 0 || e.Key > 255) std::abort();
        last = e.ClockMs;
    }
    dv::ReplayPlayer player(events);
    size_t handed = 0;
    while (player.NextDue(INT32_MAX) != nullptr) ++handed;
    if (handed != events.size() || !player.Finished()) std::abort();
    return 0;
}
