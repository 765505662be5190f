// The animator of one skeletal movable of the level: clip playback on the millisecond clock,
// blended transitions between clips, posing of the skeleton from the animation keys and
// skinning of the model's vertices into a private array that the renderer draws. Tests reach
// its inside through models/animator_internal.h.
#pragma once

#include <cstdint>
#include <vector>

#include "math/clock.h"
#include "math/vecmath.h"
#include "models/skin_groups.h"
#include "world/level_records.h"
#include "world/skinned_mesh.h"

namespace dv {

// The pose of one bone in the current update.
struct BonePose {
    Quat Rotation;     // accumulated rotation, ancestors included
    Vec3 Translation;  // key translation of this update
    Vec3 Offset;       // how far the joint has moved from its pivot, model space
};

// One sampled key: Euler angles in degrees and the joint's displacement.
struct KeySample {
    Vec3 Rotation;
    Vec3 Translation;
};

// The key of `track` in force at `frame`: the key at that frame, or else the last key before
// it (keys are held between sparse keys). A track the animation lacks, a frame outside
// 0 .. FrameCount - 1 or a track without keys yields zero rotation and zero translation.
KeySample SampleKey(const AnimationRecord& animation, int32_t track, int32_t frame);

// Where the playing and the next clip and animation sit in the bound movable's clip list and
// the level's animation list (-1 for none): the playback's pointers as numbers a saved game
// can hold.
struct PlaybackRecords {
    int32_t Clip = -1;
    int32_t Animation = -1;
    int32_t NextClip = -1;
    int32_t NextAnimation = -1;
};

// Where playback stands: the clip and frame, the time the frame began and a transition in
// progress. Only the animator writes it.
struct AnimatorPlayback {
    int32_t ClipIndex = 0;      // the playing clip in the movable's clip list
    int32_t NextClipIndex = 0;  // a transition's clip
    int32_t Frame = -1;         // current keyframe; -1 = stopped (nothing is posed)
    float FramePos = 0.0f;      // the frame posed: Frame plus a fraction
    int32_t FrameStart = 0;     // clock at which the frame (or the transition) began
    bool TransitionPending = false;
    int16_t TransitionFrame = 0;   // it runs only while Frame equals this
    int16_t TransitionTarget = 0;  // frame of the next clip where play continues
    int16_t TransitionLength = 0;  // blend length in steps
    bool TransitionBlend = false;
    bool Blending = false;        // a transition is in progress
    bool TransitionDone = false;  // switched clips; no further transition until SelectClip
    float BlendFraction = 0.0f;
    int32_t LastFrame = -1;  // Frame of the last computed pose
};

class Animator {
public:
    // Stores the level, unbinds everything and stops playback (Frame -1, not animating).
    void Create(const LevelRecord& level);
    // Frees the skinned vertices and the pose.
    void Destroy();
    // Forgets the cached pose and any transition progress.
    void ResetPlayback();
    // Binds movable `index` with its model and skeleton and sizes SkinnedVertices (zero-filled,
    // one per model vertex) and Pose (one per bone). Playback stops until a clip is selected.
    // Returns false, leaving nothing bound, when the movable or its model or skeleton is missing.
    bool BindMovable(int32_t index);
    // Lowest index in low .. high of the movable's clips whose id is `id`, by binary search on
    // the ascending clip ids; -1 when there is none (or the clips are out of order around it).
    int32_t FindClip(int32_t id, int32_t low, int32_t high) const;
    // Makes clip `id` (the first clip when absent) current and stops: Frame -1, no transition.
    void SelectClip(int32_t id);
    // The id of the clip at ClipIndex; -1 when the movable has no clips. After a transition
    // has switched clips this still names the clip last selected.
    int32_t CurrentClipId() const;
    // Plays from `frame`; the start time 0 makes the next animating Update advance at once.
    void SetFrame(int32_t frame);
    // Requests a blend of `length` steps into clip `id` (the first clip when absent) at
    // `targetFrame`; it runs while Frame equals the frame current now.
    void StartTransition(int32_t id, int32_t targetFrame, int32_t length);
    // Advances playback from ClockMs, then poses and skins unless the pose is unchanged.
    // Does nothing while Frame < 0. Allocates nothing.
    void Update();
    // Update for the drawing: skins into Skinned only, leaving SkinnedVertices as they were
    // until the next Update. True when Skinned changed.
    bool UpdateSkinned();
    // Update without the skinning: advances playback and poses the skeleton unless the pose is
    // unchanged. True when it posed.
    bool UpdatePose();
    // Skins the current pose into `out` (resized to the model's vertices) by two quaternion
    // products per bone slot and vertex, the way the game skinned before it used per-bone
    // matrices. Kept as the reference for the benchmark and the equivalence test.
    void SkinVerticesReference(ModelVertices& out);
    PlaybackRecords Records() const;
    // Points the playback at `records` and forgets the cached pose, so the next Update poses
    // anew. False, changing nothing, when an index lies outside the lists or nothing is bound.
    bool RestoreRecords(const PlaybackRecords& records);

    // Where playback stands, for the character's step, the drawing and a saved game.
    const AnimatorPlayback& Playback() const { return playback_; }
    // Puts a saved playback back; call RestoreRecords first, which points at its clips.
    void RestorePlayback(const AnimatorPlayback& playback) { playback_ = playback; }
    // Moves the clock reading of the current frame on by `ms` (time spent outside the game).
    void ShiftClock(int32_t ms) { playback_.FrameStart = ClockAfter(playback_.FrameStart, ms); }

    // What BindMovable bound and the playing clip (null when none); not owned.
    const LevelRecord* Level() const { return level_; }
    const MovableRecord* Movable() const { return movable_; }
    const ModelRecord* Model() const { return model_; }
    const AnimationRecord* Animation() const { return animation_; }
    const ClipRecord* Clip() const { return clip_; }
    // The skinned pose, one vertex per model vertex (zero until the first pose), and the same
    // positions and normals as separate arrays for the character's drawing.
    const ModelVertices& SkinnedVertices() const { return skinnedVertices_; }
    const SkinnedMesh& Skinned() const { return skinned_; }
    // The count of poses computed whose pose Skinned holds: a drawing made at one value
    // stands while it does not change.
    uint64_t SkinnedSerial() const { return skinnedSerial_; }

    // The caller sets these; the animator only replaces a time scale not above 0 with 1.
    bool Animating = false;  // false: FramePos is held at Frame
    float TimeScale = 1.0f;  // multiplies every duration: 2.0 = half speed

private:
    friend struct AnimatorInternals;

    // Forgets the bound movable, its model, skeleton and clips, and stops at frame -1.
    void Unbind();
    // Resolves clip `id` of the bound movable (index 0 when absent) into its entry and
    // animation; both null when the movable has no clips or the animation is missing.
    void LookUpClip(int32_t id, int32_t& index, const ClipRecord*& clip, const AnimationRecord*& animation) const;
    void AdvancePlayback();
    void PoseSkeleton();
    // Fills boneTransforms_ from the pose.
    void BuildBoneTransforms();
    // Skins skinned_ with the per-bone transforms, group by group.
    void SkinVertices();
    // Writes skinned_'s positions and normals into skinnedVertices_.
    void CopySkinnedToVertices();

    AnimatorPlayback playback_;
    const LevelRecord* level_ = nullptr;
    const MovableRecord* movable_ = nullptr;
    const ModelRecord* model_ = nullptr;
    const SkeletonRecord* skeleton_ = nullptr;
    const AnimationRecord* animation_ = nullptr;
    const ClipRecord* clip_ = nullptr;
    const AnimationRecord* nextAnimation_ = nullptr;
    const ClipRecord* nextClip_ = nullptr;
    ModelVertices skinnedVertices_;
    SkinnedMesh skinned_;
    uint64_t poseSerial_ = 0;  // counts the poses computed (and bindings)
    uint64_t skinnedSerial_ = 0;
    std::vector<BonePose> pose_;  // per bone
    // What the last pose was made from: the pose-unchanged test.
    int32_t cachedMovableId_ = -1;
    int32_t cachedClipId_ = -1;
    float cachedFramePos_ = -1.0f;
    std::vector<Quat> inverseRotations_;         // per bone, for the reference skinning; sized with pose_
    std::vector<BoneTransform> boneTransforms_;  // per bone, then the identity for unused slots
    std::vector<VertexInfluences> influences_;   // per model vertex
    SkinGroups groups_;                          // the vertices grouped by their bones
    bool restFieldsCopied_ = false;              // skinnedVertices_ holds the model's bones, weights and gloss
    uint64_t verticesSerial_ = 0;                // the pose count whose pose skinnedVertices_ holds
};

}  // namespace dv
