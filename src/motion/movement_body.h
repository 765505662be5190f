// The character body and the fixed-interval tick gate that paces the game logic.
#pragma once

#include <cstdint>

#include "math/vecmath.h"

namespace dv {

// Position and the three angles are contiguous: the update step copies them as one block and
// the camera control keeps pointers into them.
struct BodyPose {
    Vec3 Position{0, 0, 0};  // world position of the character's feet
    float AngleX = 0;        // degrees
    float AngleY = 0;        // heading, degrees
    float AngleZ = 0;
};
static_assert(sizeof(BodyPose) == 24);

class MovementBody {
public:
    explicit MovementBody(const Vec3& startPosition);

    // True when more than TickInterval ms have passed since the last MarkTick (64-bit difference).
    bool IsDue() const;
    void MarkTick();  // LastTick := ClockMs

    int32_t LastTick = 0;
    int32_t Room = 0;
    int32_t CellRow = 0;
    int32_t CellColumn = 0;
    BodyPose Movement;
    int32_t TickInterval = 18;
    int32_t Action = 0;  // owned by the character actions, carried between ticks
};

}  // namespace dv
