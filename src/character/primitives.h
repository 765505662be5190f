// The primitives the character actions share: moving a point along the heading, asking the
// level what lies under a point, searching a path for the last safe point, heading
// arithmetic, the starters of the intermediate states and the climb check. Those that read or
// change the character take the step's CharacterStep first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "character/character.h"
#include "motion/collision.h"

namespace dv {

// Result of ProbeGround: the surface under the point and how it relates to the point.
struct GroundProbe {
    SurfaceHit Hit;
    uint8_t Blocked;     // 1 when floor >= ceiling (no space at the point)
    float FloorDelta;    // floor - point height: positive a step up, negative a drop
    float CeilingDelta;  // ceiling - point height
    float Clearance;     // ceiling - floor
};

// Record helpers: transition request, clip and frame, going to an action.
void RequestTransition(CharacterStep& c, CharacterClip clip, int32_t frame, int32_t length);
void SetClip(CharacterStep& c, CharacterClip clip, int32_t frame);
void FocusOn(CharacterStep& c, const Vec3& point, float duration);
void ResumeFollow(CharacterStep& c);

// The four heading vectors from the record's angles (Z-X-Y order).
void UpdateHeadingVectors(CharacterStep& c);

// from + direction * (distance / TimeScale), plus 3 units (forward, back) or 6 units (left,
// right) more when lookAhead is non-zero. Undo a look-ahead with the opposite move at
// distance 0 and lookAhead 1.
Vec3 MoveForward(CharacterStep& c, const Vec3& from, int lookAhead, float distance);
Vec3 MoveBack(CharacterStep& c, const Vec3& from, int lookAhead, float distance);
Vec3 MoveLeft(CharacterStep& c, const Vec3& from, int lookAhead, float distance);
Vec3 MoveRight(CharacterStep& c, const Vec3& from, int lookAhead, float distance);

// Surface under `point` in `room` (-1: the record's Room); returns !Blocked.
bool ProbeGround(CharacterStep& c, const Vec3& point, GroundProbe& probe, int room = -1);
// Not blocked, floor at most 8 above the point and at least 25 of headroom.
bool ProbeOk(const GroundProbe& probe);
// Room below the cell at `point` in the record's room, -1 when none.
int32_t CellLink(CharacterStep& c, const Vec3& point);

// True when the hanging character cannot shimmy further that way: no ledge at hand height
// beside the hands, or something standing beside the body. The High forms hang 24 below
// the ledge instead of 16.
bool LedgeEndLeft(CharacterStep& c);
bool LedgeEndRight(CharacterStep& c);
bool HighLedgeEndLeft(CharacterStep& c);
bool HighLedgeEndRight(CharacterStep& c);

// Bisection from `from` towards `to` for the last point whose floor is within 4 of the floor
// at `from` (FindLedgeEdge) or that lies in the cell of `from` (FindCellBoundary; with both
// ends in one cell the same as FindLedgeEdge). The result is moved `back` units back along
// the path (negative: past it). Equal ends give `from`.
Vec3 FindLedgeEdge(CharacterStep& c, int room, const Vec3& from, const Vec3& to, float back);
Vec3 FindCellBoundary(CharacterStep& c, int room, const Vec3& from, const Vec3& to, float back);

// Degrees into [0, 360) (0..359 itself left as it is).
float NormalizeAngle(float a);
// angle += x - NormalizeAngle(angle): the stored angle keeps its whole turns.
void SetHeading(float& angle, float x);
// 90, 180 or 270 within `tolerance` of them, 0 or 360 near the ends; any other heading is
// returned unchanged.
float SnapAngle(float tolerance, float a);
// Signed turn (degrees) from the direction of the cell step between the cells of `from` and
// `to` (or, inside one cell, its floor diagonal) to the direction from `from` to `to`.
float EdgeHeadingDelta(CharacterStep& c, int room, const Vec3& from, const Vec3& to);
// AngleY += EdgeHeadingDelta(room, from, to).
void FaceEdge(CharacterStep& c, int room, const Vec3& from, const Vec3& to);
// Moves `point` away from a wall within 6 units to its left (by x / TimeScale to the right)
// or else to its right (by x to the left).
void AvoidSideWalls(CharacterStep& c, Vec3& point, float x);

// Starters of the shared intermediate states.
void StartHeightStep(CharacterStep& c, const Vec3& target, uint16_t ticks, float height);
void StopAt(CharacterStep& c, const Vec3& point);
void BumpLand(CharacterStep& c, const Vec3& point);
void StopWalking(CharacterStep& c, const Vec3& point, bool lateStop);
void StartFall(CharacterStep& c);
void StartFallBack(CharacterStep& c);
void StartDrop(CharacterStep& c);
void StartTimedMove(CharacterStep& c, const Vec3& target, uint16_t durationMs, float angle);

// From idle with the Alt bit: climb a ledge 6 units ahead (actions 35-38 by height) or
// start a standing jump (19, clip 45 when the ledge is out of reach, else 12).
void ClimbCheck(CharacterStep& c);

}  // namespace dv
