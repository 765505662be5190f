// The primitives the character actions share: moving a point along the heading, asking the
// level what lies under a point, searching a path for the last safe point, heading
// arithmetic, the starters of the intermediate states and the climb check. All of them work
// on CharacterModule and its CurrentState record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "character/character_module.h"
#include "motion/collision.h"

namespace dv {

#pragma pack(push, 1)
// Result of ProbeGround: the surface under the point and how it relates to the point.
struct GroundProbe {
    SurfaceHit Hit;
    uint8_t Blocked;     // 1 when floor >= ceiling (no space at the point)
    float FloorDelta;    // floor - point height: positive a step up, negative a drop
    float CeilingDelta;  // ceiling - point height
    float Clearance;     // ceiling - floor
};
#pragma pack(pop)
static_assert(sizeof(GroundProbe) == 59 && offsetof(GroundProbe, Blocked) == 46);

// Record helpers: transition request, clip and frame, going to an action.
void RequestTransition(int32_t clip, int32_t frame, int32_t length);
void SetClip(int32_t clip, int32_t frame);
void FocusOn(const Vec3& point, float duration);
void ResumeFollow();

// The four heading vectors from the record's angles (Z-X-Y order).
void UpdateHeadingVectors();

// from + direction * (distance / TimeScale), plus 3 units (forward, back) or 6 units (left,
// right) more when lookAhead is non-zero. Undo a look-ahead with the opposite move at
// distance 0 and lookAhead 1.
Vec3 MoveForward(const Vec3& from, int lookAhead, float distance);
Vec3 MoveBack(const Vec3& from, int lookAhead, float distance);
Vec3 MoveLeft(const Vec3& from, int lookAhead, float distance);
Vec3 MoveRight(const Vec3& from, int lookAhead, float distance);

// Surface under `point` in `room` (-1: the record's Room); returns !Blocked.
bool ProbeGround(const Vec3& point, GroundProbe& probe, int room = -1);
// Not blocked, floor at most 8 above the point and at least 25 of headroom.
bool ProbeOk(const GroundProbe& probe);
// Room below the cell at `point` in the record's room, -1 when none.
int32_t CellLink(const Vec3& point);

// True when the hanging character cannot shimmy further that way: no ledge at hand height
// beside the hands, or something standing beside the body. The High forms hang 24 below
// the ledge instead of 16.
bool LedgeEndLeft();
bool LedgeEndRight();
bool HighLedgeEndLeft();
bool HighLedgeEndRight();

// Bisection from `from` towards `to` for the last point whose floor is within 4 of the floor
// at `from` (FindLedgeEdge) or that lies in the cell of `from` (FindCellBoundary; with both
// ends in one cell the same as FindLedgeEdge). The result is moved `back` units back along
// the path (negative: past it). Equal ends give `from`.
Vec3 FindLedgeEdge(int room, const Vec3& from, const Vec3& to, float back);
Vec3 FindCellBoundary(int room, const Vec3& from, const Vec3& to, float back);

// Degrees into [0, 360) (0..359 itself left as it is).
float NormalizeAngle(float a);
// angle += x - NormalizeAngle(angle): the stored angle keeps its whole turns.
void SetHeading(float& angle, float x);
// 90, 180 or 270 within `tolerance` of them, 0 or 360 near the ends; any other heading is
// returned unchanged.
float SnapAngle(float tolerance, float a);
// Signed turn (degrees) from the direction of the cell step between the cells of `from` and
// `to` (or, inside one cell, its floor diagonal) to the direction from `from` to `to`.
float EdgeHeadingDelta(int room, const Vec3& from, const Vec3& to);
// AngleY += EdgeHeadingDelta(room, from, to).
void FaceEdge(int room, const Vec3& from, const Vec3& to);
// Moves `point` away from a wall within 6 units to its left (by x / TimeScale to the right)
// or else to its right (by x to the left).
void AvoidSideWalls(Vec3& point, float x);

// Starters of the shared intermediate states.
void StartHeightStep(const Vec3& target, uint16_t ticks, float height);
void StopAt(const Vec3& point);
void BumpLand(const Vec3& point);
void StopWalking(const Vec3& point, bool lateStop);
void StartFall();
void StartFallBack();
void StartDrop();
void StartTimedMove(const Vec3& target, uint16_t durationMs, float angle);

// From idle with the Alt bit: climb a ledge 6 units ahead (actions 35-38 by height) or
// start a standing jump (19, clip 45 when the ledge is out of reach, else 12).
void ClimbCheck();

}  // namespace dv
