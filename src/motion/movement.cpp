#include "motion/movement.h"

#include "math/clock.h"

namespace dv {

Tmovement::Tmovement(const Vec3& startPosition) { Movement.Position = startPosition; }

bool Tmovement::IsDue() const {
    return static_cast<int64_t>(ClockMs()) - static_cast<int64_t>(LastTick) > TickInterval;
}

void Tmovement::MarkTick() { LastTick = ClockMs(); }

}  // namespace dv
