#include "motion/movement_body.h"

#include "math/clock.h"

namespace dv {

MovementBody::MovementBody(const Vec3& startPosition) { Movement.Position = startPosition; }

bool MovementBody::IsDue() const { return ClockSince(ClockMs(), LastTick) > TickInterval; }

void MovementBody::MarkTick() { LastTick = ClockMs(); }

}  // namespace dv
