// The third-person follow camera. It orbits the character at a fixed distance behind its
// smoothed heading, lets the user tilt, turn and zoom the orbit with keys, keeps the eye in
// the level and in sight of the character by probing the cell grids, searches for a free
// spot when the view is blocked, and offers a free-look mode and a timed focus move.
//
// "Eye point" below always means the character's position raised by EyeHeight.
// The camera's steps and kept state are reached by tests through motion/follow_camera_internal.h.
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

// How the camera frames the character. The owner may change it between ticks; the camera
// never modifies it.
struct FollowTuning {
    float FollowDistance = 57.6f;  // orbit radius
    float EyeHeight = 23.5f;       // the eye point: the character's feet raised by this
    float LookAhead = 3.0f;        // Target lies this far ahead of the eye point
    float TurnRate = 0.07f;        // heading smoothing while a turn key is held
    float SettleRate = 0.1f;       // heading smoothing otherwise
    float MaxZoom = 9.6f;          // upper bound of the zoom
    float ZoomStep = 1.0f;         // zoom change per tick
};

// What the camera keeps from tick to tick. Only the camera writes it; a saved game copies it
// whole (FollowCamera::Kept, Restore).
struct FollowCameraState {
    Vec3 SmoothAngles{0, 0, 0};  // only y follows the character
    float Zoom = 0.0f;           // extra orbit distance, 0 .. MaxZoom
    FreeLookPhase LookPhase = FreeLookPhase::Start;
    Vec3 LookHome{0, 0, 0};
    uint8_t LookLatch = 0;           // 1 while the key that started free look is still held
    Vec3 LookAngles{0, 0, 0};        // pitch, yaw, roll
    Vec3 LookFrom{0, 0, 0};          // Target on entering free look
    Vec3 LookFar{0, 0, 0};           // 320 units ahead of the eye point
    float LookVelocity[2] = {0, 0};  // pitch, yaw
    float MoveStart = 0.0f;          // clock at the start of a focus move, ms
    float MoveDuration = 0.0f;       // length of a focus move, ms
    Vec3 MoveFromEye{0, 0, 0};
    Vec3 MoveFromTarget{0, 0, 0};
    CameraMode Mode = CameraMode::Follow;
    CameraPhase Phase = CameraPhase::Start;
    Vec3 OrbitOffset{5, 0, 0};  // pitch, yaw, roll the keys add to the orbit
    // Units per tick of the eased moves back behind the character. A focus move sets it to its
    // duration's number, so the first eased move after it arrives at once, as it always has.
    float EaseSpeed = 6.0f;
    Vec3 Eye{0, 0, 0};          // the camera's position
    Vec3 Goal{0, 0, 0};         // search: the spot found; focus: the point, then the eye to reach
    Vec3 Target{0, 0, 0};       // the point looked at
    Vec3 GoalTarget{0, 0, 0};   // focus: the point to look at on arrival
    Vec3 BehindPoint{0, 0, 0};  // 24 units behind the eye point: the last-resort spot
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

    // The results of the last tick.
    const Vec3& Eye() const { return state_.Eye; }
    const Vec3& Target() const { return state_.Target; }
    CameraMode Mode() const { return state_.Mode; }

    // Everything the camera keeps, for a saved game; Restore puts it back.
    const FollowCameraState& Kept() const { return state_; }
    void Restore(const FollowCameraState& state) { state_ = state; }
    // Moves the clock reading of a focus move on by `ms` (time spent outside the game).
    void ShiftClock(int32_t ms) { state_.MoveStart += static_cast<float>(ms); }

    // The caller sets these before Update; the camera never modifies them.
    const LevelMap* Level = nullptr;  // once
    FollowTuning Tuning;              // once, or between ticks
    CameraInput Input;                // the keys of this tick
    CameraSubject Subject;            // the character as it stands this tick
    int32_t CharacterRoom = 0;        // the character's room, kept by the room tracking

    // The room tracking keeps these in step with the eye after every tick; the camera reads
    // Room for its probes and moves it to the character's room when it searches a spot.
    int32_t Room = 0;
    int32_t CellRow = 0;
    int32_t CellColumn = 0;

private:
    friend struct FollowCameraInternals;

    // Smooths the heading, applies the orbit and zoom keys and sets Eye, Target and
    // BehindPoint for the character standing at `position`.
    void ComputePose(const Vec3& position);
    // Whether P is a usable camera position: inside Room's rectangle, with open space a
    // little around it and 1.5 units above and below it.
    bool SpotClear(const Vec3& p) const;
    // The level blocks the sight line from a to b (8-unit samples, starting in Room).
    bool Blocked(const Vec3& a, const Vec3& b) const;
    // Pulls Eye in to FollowDistance from the eye point; true when it moved.
    bool PullIn();
    // The first clear spot around the eye point e near the wanted eye position c that e can
    // see; BehindPoint when there is none.
    Vec3 FindSpot(const Vec3& c, const Vec3& e) const;
    // The free-look turn of one tick from the arrow keys, with momentum after release.
    void FreeLookTurn();
    // The character's position raised by EyeHeight.
    Vec3 EyePoint() const;
    Vec3 EyePointAt(const Vec3& position) const;
    bool RoomValid(int32_t room) const;
    // The ComputePose of the return and search modes: Target takes the new value, Eye and
    // OrbitOffset keep theirs; returns the eye position the pose would have had.
    Vec3 WantedEye();

    void FollowStep();
    void ReturnStep();
    void SearchStep();
    void LookStep();
    void FocusStep();

    FollowCameraState state_;
};

}  // namespace dv
