#include "models/animator.h"

#include <algorithm>
#include <cmath>

#include "math/clock.h"

namespace dv {

namespace {

// The fraction of a frame position rounded half up to four decimals, so that the float
// noise of the step arithmetic never produces a tiny blend towards the next frame.
float RoundedFraction(float framePos, int32_t wholeFrame) {
    const double fraction = static_cast<double>(framePos) - wholeFrame;
    return static_cast<float>(std::trunc(fraction * 10000.0 + 0.5) / 10000.0);
}

// RotateAboutPoint with the rotation's inverse computed once per bone rather than per vertex.
Vec3 RotatedAbout(const Vec3& p, const Quat& q, const Quat& inverse, const Vec3& centre) {
    const Vec3 d = VecSub(p, centre);
    const Quat r = QuatMultiply(QuatMultiply(q, Quat{d.x, d.y, d.z, 0.0f}), inverse);
    return VecAdd(centre, Vec3{r.x, r.y, r.z});
}

BoneTransform IdentityTransform() { return BoneTransform{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {0, 0, 0}}; }

// q v q^-1 with q^-1 the normalised conjugate, as a matrix: the rotation scaled by |q|.
BoneTransform TransformOfPose(const BonePose& pose, const Vec3& pivot) {
    const double x = pose.Rotation.x, y = pose.Rotation.y, z = pose.Rotation.z, w = pose.Rotation.w;
    const double k = 1.0 / std::sqrt(x * x + y * y + z * z + w * w);
    const double r[3][3] = {{w * w + x * x - y * y - z * z, 2 * (x * y - w * z), 2 * (x * z + w * y)},
                            {2 * (x * y + w * z), w * w - x * x + y * y - z * z, 2 * (y * z - w * x)},
                            {2 * (x * z - w * y), 2 * (y * z + w * x), w * w - x * x - y * y + z * z}};
    // Rotating about the pivot, then moving by the joint's offset: t = pivot + offset - R pivot.
    const double c[3] = {pivot.x, pivot.y, pivot.z};
    const double o[3] = {pose.Offset.x, pose.Offset.y, pose.Offset.z};
    BoneTransform t{};
    for (int i = 0; i < 3; ++i) {
        double rc = 0.0;
        for (int j = 0; j < 3; ++j) {
            t.Rotation[i][j] = static_cast<float>(r[i][j] * k);
            rc += r[i][j] * k * c[j];
        }
        t.Translation[i] = static_cast<float>(c[i] + o[i] - rc);
    }
    return t;
}

Quat Rotated(const Quat& start, const Vec3& angles) {
    Quat q = start;
    QuatRotateByAngles(q, angles.x, angles.y, angles.z);
    return q;
}

}  // namespace

KeySample SampleKey(const AnimationRecord& animation, int32_t track, int32_t frame) {
    const KeySample none{{0, 0, 0}, {0, 0, 0}};
    if (track < 0 || track >= animation.TrackCount || track >= static_cast<int32_t>(animation.Tracks.size())) {
        return none;
    }
    if (frame < 0 || frame >= animation.FrameCount) return none;
    const std::vector<AnimationKey>& keys = animation.Tracks[static_cast<size_t>(track)].Keys;
    if (keys.empty()) return none;

    const int32_t last = static_cast<int32_t>(keys.size()) - 1;
    auto sample = [&keys](int32_t i) {
        const AnimationKey& key = keys[static_cast<size_t>(i)];
        return KeySample{key.Rotation, key.Translation};
    };
    if (frame == keys[0].Frame) return sample(0);
    if (frame == keys[static_cast<size_t>(last)].Frame) return sample(last);
    int32_t lo = 0, hi = last;
    while (lo <= hi) {
        const int32_t mid = (lo + hi) / 2;
        const int32_t midFrame = keys[static_cast<size_t>(mid)].Frame;
        if (frame < midFrame) {
            hi = mid - 1;
        } else if (frame > midFrame) {
            lo = mid + 1;
        } else {
            return sample(mid);
        }
    }
    return sample(std::max(hi, 0));
}

void Animator::Create(const LevelRecord& level) {
    Level = &level;
    Unbind();
    FrameStart = 0;
    Animating = false;
}

void Animator::Unbind() {
    Movable = nullptr;
    Model = nullptr;
    Skeleton = nullptr;
    Animation = nullptr;
    Clip = nullptr;
    NextAnimation = nullptr;
    NextClip = nullptr;
    Frame = -1;
    ResetPlayback();
}

void Animator::Destroy() {
    ModelVertices().swap(SkinnedVertices);
    std::vector<BonePose>().swap(Pose);
    Skinned = SkinnedMesh{};
    ++PoseSerial;
    std::vector<Quat>().swap(InverseRotations);
    std::vector<BoneTransform>().swap(BoneTransforms);
    std::vector<VertexInfluences>().swap(Influences);
    Groups = SkinGroups{};
}

void Animator::ResetPlayback() {
    CachedFramePos = -1.0f;
    CachedMovableId = -1;
    CachedClipId = -1;
    TransitionDone = false;
    Blending = false;
    BlendFraction = 0.0f;
}

bool Animator::BindMovable(int32_t index) {
    Unbind();
    if (Level == nullptr || index < 0 || index >= static_cast<int32_t>(Level->Movables.size())) return false;
    const MovableRecord& movable = Level->Movables[static_cast<size_t>(index)];
    if (movable.ModelIndex < 0 || movable.ModelIndex >= static_cast<int32_t>(Level->Models.size())) return false;
    if (movable.SkeletonIndex < 0 || movable.SkeletonIndex >= static_cast<int32_t>(Level->Skeletons.size())) {
        return false;
    }
    Movable = &movable;
    Model = &Level->Models[static_cast<size_t>(movable.ModelIndex)];
    Skeleton = &Level->Skeletons[static_cast<size_t>(movable.SkeletonIndex)];
    SkinnedVertices.assign(Model->Vertices.size(), ModelVertex{});
    ++PoseSerial;
    RestFieldsCopied = false;
    Pose.assign(Skeleton->Bones.size(), BonePose{});
    InverseRotations.assign(Skeleton->Bones.size(), Quat{0, 0, 0, 1});
    BoneTransforms.assign(Skeleton->Bones.size() + 1, IdentityTransform());
    Influences.resize(Model->Vertices.size());
    for (size_t v = 0; v < Model->Vertices.size(); ++v) {
        Influences[v] = ResolveInfluences(Model->Vertices[v], static_cast<int32_t>(Skeleton->Bones.size()));
    }
    Groups = GroupVertices(Model->Vertices, Influences, Skinned);
    SkinnedSerial = VerticesSerial = PoseSerial;  // both zero-filled, as before any pose
    return true;
}

int32_t Animator::FindClip(int32_t id, int32_t low, int32_t high) const {
    if (Movable == nullptr) return -1;
    const std::vector<ClipRecord>& clips = Movable->Clips;
    low = std::max(low, 0);
    high = std::min(high, static_cast<int32_t>(clips.size()) - 1);
    int32_t found = -1;
    while (low <= high) {
        const int32_t mid = (low + high) / 2;
        const int32_t midId = clips[static_cast<size_t>(mid)].ClipId;
        if (midId < id) {
            low = mid + 1;
        } else if (midId > id) {
            high = mid - 1;
        } else {
            found = mid;
            if (mid == low || clips[static_cast<size_t>(mid - 1)].ClipId != id) return mid;
            high = mid - 1;
        }
    }
    return found;
}

void Animator::LookUpClip(int32_t id, int32_t& index, const ClipRecord*& clip,
                          const AnimationRecord*& animation) const {
    index = 0;
    clip = nullptr;
    animation = nullptr;
    if (Movable == nullptr || Movable->Clips.empty()) return;
    index = std::max(FindClip(id, 0, static_cast<int32_t>(Movable->Clips.size()) - 1), 0);
    clip = &Movable->Clips[static_cast<size_t>(index)];
    const int32_t a = clip->AnimationIndex;
    if (a >= 0 && a < static_cast<int32_t>(Level->Animations.size())) {
        animation = &Level->Animations[static_cast<size_t>(a)];
    }
}

void Animator::SelectClip(int32_t id) {
    ResetPlayback();
    FrameStart = 0;
    LookUpClip(id, ClipIndex, Clip, Animation);
    Frame = -1;
    TransitionPending = false;
}

int32_t Animator::CurrentClipId() const {
    if (Movable == nullptr || ClipIndex < 0 || ClipIndex >= static_cast<int32_t>(Movable->Clips.size())) return -1;
    return Movable->Clips[static_cast<size_t>(ClipIndex)].ClipId;
}

void Animator::SetFrame(int32_t frame) {
    FrameStart = 0;
    Frame = frame;
}

void Animator::StartTransition(int32_t id, int32_t targetFrame, int32_t length) {
    TransitionPending = true;
    TransitionFrame = static_cast<int16_t>(Frame);
    LookUpClip(id, NextClipIndex, NextClip, NextAnimation);
    TransitionTarget = static_cast<int16_t>(targetFrame);
    TransitionBlend = true;
    TransitionLength = static_cast<int16_t>(length);
}

PlaybackRecords Animator::Records() const {
    PlaybackRecords r;
    if (Movable == nullptr || Level == nullptr) return r;
    const auto clipAt = [this](const ClipRecord* clip) {
        return clip == nullptr ? -1 : static_cast<int32_t>(clip - Movable->Clips.data());
    };
    const auto animationAt = [this](const AnimationRecord* animation) {
        return animation == nullptr ? -1 : static_cast<int32_t>(animation - Level->Animations.data());
    };
    r.Clip = clipAt(Clip);
    r.Animation = animationAt(Animation);
    r.NextClip = clipAt(NextClip);
    r.NextAnimation = animationAt(NextAnimation);
    return r;
}

bool Animator::RestoreRecords(const PlaybackRecords& records) {
    if (Movable == nullptr || Level == nullptr) return false;
    const auto clipValid = [this](int32_t i) { return i >= -1 && i < static_cast<int32_t>(Movable->Clips.size()); };
    const auto animationValid = [this](int32_t i) {
        return i >= -1 && i < static_cast<int32_t>(Level->Animations.size());
    };
    if (!clipValid(records.Clip) || !clipValid(records.NextClip) || !animationValid(records.Animation) ||
        !animationValid(records.NextAnimation)) {
        return false;
    }
    const auto clip = [this](int32_t i) { return i < 0 ? nullptr : &Movable->Clips[static_cast<size_t>(i)]; };
    const auto animation = [this](int32_t i) { return i < 0 ? nullptr : &Level->Animations[static_cast<size_t>(i)]; };
    Clip = clip(records.Clip);
    Animation = animation(records.Animation);
    NextClip = clip(records.NextClip);
    NextAnimation = animation(records.NextAnimation);
    CachedFramePos = -1.0f;
    CachedMovableId = -1;
    CachedClipId = -1;
    return true;
}

void Animator::Update() {
    UpdateSkinned();
    if (VerticesSerial == SkinnedSerial) return;
    CopySkinnedToVertices();
    VerticesSerial = SkinnedSerial;
}

bool Animator::UpdateSkinned() {
    UpdatePose();
    // Also after a pose of UpdatePose alone: whatever was posed last is skinned.
    if (SkinnedSerial == PoseSerial || Model == nullptr || Skeleton == nullptr) return false;
    SkinVertices();
    SkinnedSerial = PoseSerial;
    return true;
}

bool Animator::UpdatePose() {
    if (Frame < 0) return false;
    if (Movable == nullptr || Clip == nullptr || Animation == nullptr) return false;
    AdvancePlayback();
    // Once the transition has switched clips the blend is over. Clearing the flag before the
    // pose-unchanged test keeps a switch that lands on the cached pose from freezing playback.
    if (TransitionDone && Blending) Blending = false;
    if (Movable->Id == CachedMovableId && Clip->ClipId == CachedClipId && FramePos == CachedFramePos) return false;
    PoseSkeleton();
    ++PoseSerial;
    CachedFramePos = FramePos;
    LastFrame = Frame;
    CachedMovableId = Movable->Id;
    CachedClipId = Clip->ClipId;
    return true;
}

void Animator::AdvancePlayback() {
    if (!Animating) FramePos = static_cast<float>(Frame);
    const int32_t frames = Animation->FrameCount;
    if (!(TimeScale > 0.0f)) TimeScale = 1.0f;
    const int32_t steps = TruncToInt(static_cast<float>((Clip->StepsPerKey + 1) * frames) * TimeScale);
    const float duration = static_cast<float>(Clip->DurationMs) * TimeScale;
    const int32_t blendSteps = TruncToInt(static_cast<float>(TransitionLength) * TimeScale);
    const float frameTime = frames > 0 ? duration / static_cast<float>(frames) : 0.0f;

    if (Animating && TransitionPending && Frame == TransitionFrame && !TransitionDone) {
        const int32_t now = ClockMs();
        const float stepTime = steps != 0 ? duration / static_cast<float>(steps) : frameTime;
        const float blendTime = static_cast<float>(blendSteps) * stepTime;
        const double elapsed = ClockSince(now, FrameStart);
        Blending = true;
        FramePos = static_cast<float>(Frame);
        // A blend without length (or without time) is an immediate switch.
        const bool noBlendTime = !(blendTime > 0.0f) || !std::isfinite(blendTime);
        if (noBlendTime || elapsed / blendTime >= 1.0) {
            Frame = TransitionTarget;
            FramePos = static_cast<float>(Frame);
            Animation = NextAnimation;
            Clip = NextClip;
            TransitionDone = true;
            FrameStart = now;
            if (Animation == nullptr || Clip == nullptr) Frame = -1;
        } else if (TransitionBlend && TransitionLength != 0) {
            BlendFraction =
                static_cast<float>(std::trunc(elapsed / stepTime) * (static_cast<double>(stepTime) / blendTime));
            FramePos = static_cast<float>(Frame + static_cast<double>(BlendFraction));
        }
    }

    if (Animating && !Blending) {
        const int32_t now = ClockMs();
        const double elapsed = ClockSince(now, FrameStart);
        // A clip without duration advances one frame per update.
        if (!(frameTime > 0.0f) || elapsed / frameTime >= 1.0) {
            Frame = Frame + 1 >= frames ? 0 : Frame + 1;
            FramePos = static_cast<float>(Frame);
            FrameStart = now;
        } else if (static_cast<float>(steps) > static_cast<float>(frames) * TimeScale) {
            const float stepTime = duration / static_cast<float>(steps);
            FramePos = static_cast<float>(Frame +
                                          std::trunc(elapsed / stepTime) * (static_cast<double>(stepTime) / frameTime));
        }
    }
}

void Animator::PoseSkeleton() {
    const int32_t frames = Animation->FrameCount;
    const int32_t k = TruncToInt(FramePos);
    const float f = RoundedFraction(FramePos, k);
    const int32_t k1 = k + 1 >= frames ? 0 : k + 1;
    const int32_t boneCount = static_cast<int32_t>(std::min(Pose.size(), Skeleton->Bones.size()));
    const KeySample none{{0, 0, 0}, {0, 0, 0}};

    for (int32_t b = 0; b < boneCount; ++b) {
        const SkeletonBone& bone = Skeleton->Bones[static_cast<size_t>(b)];
        const int32_t p = bone.Parent;
        const bool hasParent = p >= 0 && p < b;  // a parent is always posed before its children
        Quat start;
        QuatIdentity(start);
        if (hasParent) start = Pose[static_cast<size_t>(p)].Rotation;

        BonePose& pose = Pose[static_cast<size_t>(b)];
        const KeySample a = SampleKey(*Animation, b, k);
        pose.Rotation = Rotated(start, a.Rotation);
        pose.Translation = a.Translation;
        if (f != 0.0f) {
            KeySample next = none;
            if (!Blending) {
                next = SampleKey(*Animation, b, k1);
            } else if (NextAnimation != nullptr) {
                next = SampleKey(*NextAnimation, b, TransitionTarget);
            }
            pose.Rotation = QuatSlerp(pose.Rotation, Rotated(start, next.Rotation), f);
            pose.Translation = VecLerp(pose.Translation, next.Translation, f);
        }

        Vec3 offset = VecAdd(bone.Pivot, pose.Translation);
        if (hasParent) {
            const BonePose& parent = Pose[static_cast<size_t>(p)];
            RotateAboutPoint(offset, parent.Rotation, Skeleton->Bones[static_cast<size_t>(p)].Pivot);
            offset = VecAdd(offset, parent.Offset);
        }
        pose.Offset = VecSub(offset, bone.Pivot);
    }
}

void Animator::BuildBoneTransforms() {
    const size_t boneCount = std::min(Pose.size(), Skeleton->Bones.size());
    for (size_t b = 0; b < boneCount; ++b) {
        BoneTransforms[b] = TransformOfPose(Pose[b], Skeleton->Bones[b].Pivot);
    }
}

void Animator::SkinVertices() {
    BuildBoneTransforms();
    SkinGroupedVertices(Groups, BoneTransforms.data(), Skinned);
}

void Animator::CopySkinnedToVertices() {
    const size_t count = std::min({SkinnedVertices.size(), Skinned.Slot.size(), Model->Vertices.size()});
    // Skinning rewrites only Position and Normal; the other fields are copied once per binding.
    if (!RestFieldsCopied) {
        std::copy_n(Model->Vertices.begin(), count, SkinnedVertices.begin());
        RestFieldsCopied = true;
    }
    for (size_t v = 0; v < count; ++v) {
        const size_t e = Skinned.Slot[v];
        SkinnedVertices[v].Position = Vec3{Skinned.X[e], Skinned.Y[e], Skinned.Z[e]};
        SkinnedVertices[v].Normal = Vec3{Skinned.NX[e], Skinned.NY[e], Skinned.NZ[e]};
    }
}

void Animator::SkinVerticesReference(ModelVertices& out) {
    if (Model == nullptr || Skeleton == nullptr) return;
    out.assign(Model->Vertices.begin(), Model->Vertices.end());
    const size_t count = out.size();
    const int32_t boneCount = static_cast<int32_t>(std::min(Pose.size(), Skeleton->Bones.size()));
    const Vec3 origin{0, 0, 0};
    for (int32_t b = 0; b < boneCount; ++b) {
        Quat inverse = Pose[static_cast<size_t>(b)].Rotation;
        QuatInverse(inverse);
        InverseRotations[static_cast<size_t>(b)] = inverse;
    }

    for (size_t v = 0; v < count; ++v) {
        const ModelVertex& rest = Model->Vertices[v];
        ModelVertex& skinned = out[v];
        for (int s = 0; s < 4; ++s) {
            const int32_t j = rest.Bones[s];
            if (j < 0 || j >= boneCount) continue;
            const BonePose& pose = Pose[static_cast<size_t>(j)];
            const Quat& inverse = InverseRotations[static_cast<size_t>(j)];
            const float w = static_cast<float>(rest.Weights[s]) / 100.0f;
            const Vec3 p = VecScale(VecAdd(RotatedAbout(rest.Position, pose.Rotation, inverse,
                                                        Skeleton->Bones[static_cast<size_t>(j)].Pivot),
                                           pose.Offset),
                                    w);
            const Vec3 n = VecScale(RotatedAbout(rest.Normal, pose.Rotation, inverse, origin), w);
            if (s == 0) {
                skinned.Position = p;
                skinned.Normal = n;
            } else {
                skinned.Position = VecAdd(skinned.Position, p);
                skinned.Normal = VecAdd(skinned.Normal, n);
            }
        }
    }
}

}  // namespace dv
