// The third-person follow camera. It orbits the character at a fixed distance behind its
// smoothed heading, lets the user tilt, turn and zoom the orbit with keys, keeps the eye in
// the level and in sight of the character by probing the cell grids, searches for a free
// spot when the view is blocked, and offers a free-look mode and a timed focus move.
//
// "Eye point" below always means the character's position raised by EyeHeight.
#pragma once

#include <cstdint>

#include "input/key_bindings.h"
#include "input/keyboard.h"
#include "math/vecmath.h"
#include "world/level_records.h"

namespace dv {

enum class CameraMode : uint8_t {
    Follow = 0,    // behind the character
    Return = 1,    // easing back behind it
    Search = 2,    // looking for a spot with a clear view of it
    FreeLook = 3,  // the arrows turn the view; the character waits
    Focus = 4,     // a timed move towards a point the character is about to reach
};

// The steps of the search and focus modes (one Phase serves both): search picks a spot,
// moves there, holds it while the view stays clear and returns once the wanted pose is
// clear again; focus starts, moves and has arrived.
enum class CameraPhase : uint8_t { Start = 0, Moving = 1, Holding = 2, Returning = 3, Arrived = 4 };
// The steps of free look: entering (moving up to the character's eye), looking, leaving.
enum class FreeLookPhase : uint8_t { Start = 0, Entering = 1, Looking = 2, Leaving = 3 };

// The keys the camera reads in one tick.
struct CameraInput {
    bool Up = false, Down = false, Left = false, Right = false;  // zoom out, orbit turn rate, free look
    bool FreeLook = false;                                       // enters and leaves free look
    bool Home = false;                                           // back behind the character
    bool TiltUp = false, TiltDown = false, SwingLeft = false, SwingRight = false;  // orbit offsets
};
// The arrows of the camera are the movement keys; the free-look key enters and leaves free look.
CameraInput CameraInputFrom(const KeyboardState& keys, const KeyBindings& bindings = KeyBindings{});

// What the camera follows: the character's feet and heading (degrees).
struct CameraSubject {
    Vec3 Position{0, 0, 0};
    float Heading = 0;
};

class FollowCamera {
public:
    // One tick with the keys of `Input` and the character of `Subject`, which the owner sets
    // first: the free-look key held enters free look; then the step of the current mode.
    // Does nothing while no level is set.
    void Update();
    // Starts a timed move of `duration` ms to the pose the camera would have with the
    // character standing at `point`; the camera holds there until ResumeFollow.
    void FocusOn(const Vec3& point, float duration);
    // Back to following.
    void ResumeFollow();

    // Smooths the heading, applies the orbit and zoom keys and sets Eye, Target and
    // BehindPoint for the character's current position.
    void ComputePose();
    // Whether P is a usable camera position: inside Room's rectangle, with open space a
    // little around it and 1.5 units above and below it.
    bool SpotClear(const Vec3& p) const;
    // The level blocks the sight line from a to b (8-unit samples, starting in Room).
    bool Blocked(const Vec3& a, const Vec3& b) const;
    // Moves p by s towards g, or onto g when it is no farther than s.
    static void MoveToward(Vec3& p, const Vec3& g, float s);
    // Pulls Eye in to FollowDistance from the eye point; true when it moved.
    bool PullIn();
    // The first clear spot around the eye point e near the wanted eye position c that e can
    // see; BehindPoint when there is none.
    Vec3 FindSpot(const Vec3& c, const Vec3& e) const;
    // The point half the distance from e to c, 75 degrees above the horizontal, on c's side.
    static Vec3 RaisedPointToward(const Vec3& c, const Vec3& e);
    // The free-look turn of one tick from the arrow keys, with momentum after release.
    void FreeLookTurn();
    // The character's position raised by EyeHeight.
    Vec3 EyePoint() const;

    void FollowStep();
    void ReturnStep();
    void SearchStep();
    void LookStep();
    void FocusStep();

    CameraInput Input;           // the keys of the current tick, set by the owner before it runs
    CameraSubject Subject;       // the character as it stands this tick, set likewise
    Vec3 SmoothAngles{0, 0, 0};  // only y follows the character
    float Zoom = 0.0f;           // extra orbit distance, 0 .. MaxZoom
    FreeLookPhase LookPhase = FreeLookPhase::Start;
    alignas(float) Vec3 LookHome{0, 0, 0};
    uint8_t LookLatch = 0;                    // 1 while the key that started free look is still held
    alignas(float) Vec3 LookAngles{0, 0, 0};  // pitch, yaw, roll
    Vec3 LookFrom{0, 0, 0};
    Vec3 LookFar{0, 0, 0};
    float LookVelocity[2] = {0, 0};  // pitch, yaw
    float MoveStart = 0.0f;
    float MoveDuration = 0.0f;
    Vec3 MoveFromEye{0, 0, 0};
    Vec3 MoveFromTarget{0, 0, 0};
    CameraMode Mode = CameraMode::Follow;
    CameraPhase Phase = CameraPhase::Start;
    float FollowDistance = 57.6f;
    float EyeHeight = 23.5f;
    float LookAhead = 3.0f;
    float TurnRate = 0.07f;
    float SettleRate = 0.1f;
    float MaxZoom = 9.6f;
    float ZoomStep = 1.0f;
    Vec3 OrbitOffset{5, 0, 0};  // pitch, yaw, roll
    float Speed = 6.0f;         // units per tick for eased moves; ms for a focus move
    Vec3 Eye{0, 0, 0};
    Vec3 Goal{0, 0, 0};
    Vec3 Target{0, 0, 0};
    Vec3 GoalTarget{0, 0, 0};
    Vec3 BehindPoint{0, 0, 0};
    const LevelMap* Level = nullptr;
    int32_t Room = 0;
    int32_t CharacterRoom = 0;
    int32_t CellRow = 0;
    int32_t CellColumn = 0;

private:
    bool RoomValid(int32_t room) const;
    // The ComputePose of the return and search modes: Target takes the new value, Eye and
    // OrbitOffset keep theirs; returns the eye position the pose would have had.
    Vec3 WantedEye();
};

}  // namespace dv
