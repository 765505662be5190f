// The animator of one skeletal movable of the level: clip playback on the millisecond clock,
// blended transitions between clips, posing of the skeleton from the animation keys and
// skinning of the model's vertices into a private array that the renderer draws.
#pragma once

#include <cstdint>
#include <vector>

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

    const LevelRecord* Level = nullptr;
    const MovableRecord* Movable = nullptr;
    const ModelRecord* Model = nullptr;
    const SkeletonRecord* Skeleton = nullptr;
    const AnimationRecord* Animation = nullptr;
    const ClipRecord* Clip = nullptr;
    int32_t ClipIndex = 0;
    const AnimationRecord* NextAnimation = nullptr;
    const ClipRecord* NextClip = nullptr;
    int32_t NextClipIndex = 0;
    int32_t Frame = -1;
    float FramePos = 0.0f;
    float TimeScale = 1.0f;  // 2.0 = half speed; a value not above 0 becomes 1.0
    int32_t FrameStart = 0;
    bool Animating = false;
    bool TransitionPending = false;
    int16_t TransitionFrame = 0;
    int16_t TransitionTarget = 0;
    int16_t TransitionLength = 0;
    bool TransitionBlend = false;
    bool Blending = false;
    bool TransitionDone = false;
    float BlendFraction = 0.0f;
    ModelVertices SkinnedVertices;
    // The same positions and normals as separate arrays, for the character's drawing.
    SkinnedMesh Skinned;
    // Counts the poses computed (and bindings); SkinnedSerial is the count whose pose Skinned
    // holds, so a drawing made at one value stands while it does not change.
    uint64_t PoseSerial = 0;
    uint64_t SkinnedSerial = 0;
    std::vector<BonePose> Pose;
    int32_t CachedMovableId = -1;
    int32_t CachedClipId = -1;
    float CachedFramePos = -1.0f;
    int32_t LastFrame = -1;

private:
    // Forgets the bound movable, its model, skeleton and clips, and stops at frame -1.
    void Unbind();
    // Resolves clip `id` of the bound movable (index 0 when absent) into its entry and
    // animation; both null when the movable has no clips or the animation is missing.
    void LookUpClip(int32_t id, int32_t& index, const ClipRecord*& clip, const AnimationRecord*& animation) const;
    void AdvancePlayback();
    void PoseSkeleton();
    // Fills BoneTransforms from the pose.
    void BuildBoneTransforms();
    // Skins Skinned with the per-bone transforms, group by group.
    void SkinVertices();
    // Writes Skinned's positions and normals into SkinnedVertices.
    void CopySkinnedToVertices();

    std::vector<Quat> InverseRotations;         // per bone, for the reference skinning; sized with Pose
    std::vector<BoneTransform> BoneTransforms;  // per bone, then the identity for unused slots
    std::vector<VertexInfluences> Influences;   // per model vertex
    SkinGroups Groups;                          // the vertices grouped by their bones
    bool RestFieldsCopied = false;              // SkinnedVertices holds the model's bones, weights and gloss
    uint64_t VerticesSerial = 0;                // the pose count whose pose SkinnedVertices holds
};

}  // namespace dv
