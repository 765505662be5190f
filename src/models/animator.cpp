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
    level_ = &level;
    Unbind();
    playback_.FrameStart = 0;
    Animating = false;
}

void Animator::Unbind() {
    movable_ = nullptr;
    model_ = nullptr;
    skeleton_ = nullptr;
    animation_ = nullptr;
    clip_ = nullptr;
    nextAnimation_ = nullptr;
    nextClip_ = nullptr;
    playback_.Frame = -1;
    ResetPlayback();
}

void Animator::Destroy() {
    ModelVertices().swap(skinnedVertices_);
    std::vector<BonePose>().swap(pose_);
    skinned_ = SkinnedMesh{};
    ++poseSerial_;
    std::vector<Quat>().swap(inverseRotations_);
    std::vector<BoneTransform>().swap(boneTransforms_);
    std::vector<VertexInfluences>().swap(influences_);
    groups_ = SkinGroups{};
}

void Animator::ResetPlayback() {
    cachedFramePos_ = -1.0f;
    cachedMovableId_ = -1;
    cachedClipId_ = -1;
    playback_.TransitionDone = false;
    playback_.Blending = false;
    playback_.BlendFraction = 0.0f;
}

bool Animator::BindMovable(int32_t index) {
    Unbind();
    if (level_ == nullptr || index < 0 || index >= static_cast<int32_t>(level_->Movables.size())) return false;
    const MovableRecord& movable = level_->Movables[static_cast<size_t>(index)];
    if (movable.ModelIndex < 0 || movable.ModelIndex >= static_cast<int32_t>(level_->Models.size())) return false;
    if (movable.SkeletonIndex < 0 || movable.SkeletonIndex >= static_cast<int32_t>(level_->Skeletons.size())) {
        return false;
    }
    movable_ = &movable;
    model_ = &level_->Models[static_cast<size_t>(movable.ModelIndex)];
    skeleton_ = &level_->Skeletons[static_cast<size_t>(movable.SkeletonIndex)];
    skinnedVertices_.assign(model_->Vertices.size(), ModelVertex{});
    ++poseSerial_;
    restFieldsCopied_ = false;
    pose_.assign(skeleton_->Bones.size(), BonePose{});
    inverseRotations_.assign(skeleton_->Bones.size(), Quat{0, 0, 0, 1});
    boneTransforms_.assign(skeleton_->Bones.size() + 1, IdentityTransform());
    influences_.resize(model_->Vertices.size());
    for (size_t v = 0; v < model_->Vertices.size(); ++v) {
        influences_[v] = ResolveInfluences(model_->Vertices[v], static_cast<int32_t>(skeleton_->Bones.size()));
    }
    groups_ = GroupVertices(model_->Vertices, influences_, skinned_);
    skinnedSerial_ = verticesSerial_ = poseSerial_;  // both zero-filled, as before any pose
    return true;
}

int32_t Animator::FindClip(int32_t id, int32_t low, int32_t high) const {
    if (movable_ == nullptr) return -1;
    const std::vector<ClipRecord>& clips = movable_->Clips;
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
    if (movable_ == nullptr || movable_->Clips.empty()) return;
    index = std::max(FindClip(id, 0, static_cast<int32_t>(movable_->Clips.size()) - 1), 0);
    clip = &movable_->Clips[static_cast<size_t>(index)];
    const int32_t a = clip->AnimationIndex;
    if (a >= 0 && a < static_cast<int32_t>(level_->Animations.size())) {
        animation = &level_->Animations[static_cast<size_t>(a)];
    }
}

void Animator::SelectClip(int32_t id) {
    ResetPlayback();
    playback_.FrameStart = 0;
    LookUpClip(id, playback_.ClipIndex, clip_, animation_);
    playback_.Frame = -1;
    playback_.TransitionPending = false;
}

int32_t Animator::CurrentClipId() const {
    if (movable_ == nullptr || playback_.ClipIndex < 0 ||
        playback_.ClipIndex >= static_cast<int32_t>(movable_->Clips.size()))
        return -1;
    return movable_->Clips[static_cast<size_t>(playback_.ClipIndex)].ClipId;
}

void Animator::SetFrame(int32_t frame) {
    playback_.FrameStart = 0;
    playback_.Frame = frame;
}

void Animator::StartTransition(int32_t id, int32_t targetFrame, int32_t length) {
    playback_.TransitionPending = true;
    playback_.TransitionFrame = static_cast<int16_t>(playback_.Frame);
    LookUpClip(id, playback_.NextClipIndex, nextClip_, nextAnimation_);
    playback_.TransitionTarget = static_cast<int16_t>(targetFrame);
    playback_.TransitionBlend = true;
    playback_.TransitionLength = static_cast<int16_t>(length);
}

PlaybackRecords Animator::Records() const {
    PlaybackRecords r;
    if (movable_ == nullptr || level_ == nullptr) return r;
    const auto clipAt = [this](const ClipRecord* clip) {
        return clip == nullptr ? -1 : static_cast<int32_t>(clip - movable_->Clips.data());
    };
    const auto animationAt = [this](const AnimationRecord* animation) {
        return animation == nullptr ? -1 : static_cast<int32_t>(animation - level_->Animations.data());
    };
    r.Clip = clipAt(clip_);
    r.Animation = animationAt(animation_);
    r.NextClip = clipAt(nextClip_);
    r.NextAnimation = animationAt(nextAnimation_);
    return r;
}

bool Animator::RestoreRecords(const PlaybackRecords& records) {
    if (movable_ == nullptr || level_ == nullptr) return false;
    const auto clipValid = [this](int32_t i) { return i >= -1 && i < static_cast<int32_t>(movable_->Clips.size()); };
    const auto animationValid = [this](int32_t i) {
        return i >= -1 && i < static_cast<int32_t>(level_->Animations.size());
    };
    if (!clipValid(records.Clip) || !clipValid(records.NextClip) || !animationValid(records.Animation) ||
        !animationValid(records.NextAnimation)) {
        return false;
    }
    const auto clip = [this](int32_t i) { return i < 0 ? nullptr : &movable_->Clips[static_cast<size_t>(i)]; };
    const auto animation = [this](int32_t i) { return i < 0 ? nullptr : &level_->Animations[static_cast<size_t>(i)]; };
    clip_ = clip(records.Clip);
    animation_ = animation(records.Animation);
    nextClip_ = clip(records.NextClip);
    nextAnimation_ = animation(records.NextAnimation);
    cachedFramePos_ = -1.0f;
    cachedMovableId_ = -1;
    cachedClipId_ = -1;
    return true;
}

void Animator::Update() {
    UpdateSkinned();
    if (verticesSerial_ == skinnedSerial_) return;
    CopySkinnedToVertices();
    verticesSerial_ = skinnedSerial_;
}

bool Animator::UpdateSkinned() {
    UpdatePose();
    // Also after a pose of UpdatePose alone: whatever was posed last is skinned.
    if (skinnedSerial_ == poseSerial_ || model_ == nullptr || skeleton_ == nullptr) return false;
    SkinVertices();
    skinnedSerial_ = poseSerial_;
    return true;
}

bool Animator::UpdatePose() {
    if (playback_.Frame < 0) return false;
    if (movable_ == nullptr || clip_ == nullptr || animation_ == nullptr) return false;
    AdvancePlayback();
    // A transition into a clip without records stops playback (Frame -1) instead.
    if (playback_.Frame < 0 || clip_ == nullptr || animation_ == nullptr) return false;
    // Once the transition has switched clips the blend is over. Clearing the flag before the
    // pose-unchanged test keeps a switch that lands on the cached pose from freezing playback.
    if (playback_.TransitionDone && playback_.Blending) playback_.Blending = false;
    if (movable_->Id == cachedMovableId_ && clip_->ClipId == cachedClipId_ && playback_.FramePos == cachedFramePos_)
        return false;
    PoseSkeleton();
    ++poseSerial_;
    cachedFramePos_ = playback_.FramePos;
    playback_.LastFrame = playback_.Frame;
    cachedMovableId_ = movable_->Id;
    cachedClipId_ = clip_->ClipId;
    return true;
}

void Animator::AdvancePlayback() {
    if (!Animating) playback_.FramePos = static_cast<float>(playback_.Frame);
    const int32_t frames = animation_->FrameCount;
    if (!(TimeScale > 0.0f)) TimeScale = 1.0f;
    const int32_t steps = TruncToInt(static_cast<float>((clip_->StepsPerKey + 1) * frames) * TimeScale);
    const float duration = static_cast<float>(clip_->DurationMs) * TimeScale;
    const int32_t blendSteps = TruncToInt(static_cast<float>(playback_.TransitionLength) * TimeScale);
    const float frameTime = frames > 0 ? duration / static_cast<float>(frames) : 0.0f;

    if (Animating && playback_.TransitionPending && playback_.Frame == playback_.TransitionFrame &&
        !playback_.TransitionDone) {
        const int32_t now = ClockMs();
        const float stepTime = steps != 0 ? duration / static_cast<float>(steps) : frameTime;
        const float blendTime = static_cast<float>(blendSteps) * stepTime;
        const double elapsed = ClockSince(now, playback_.FrameStart);
        playback_.Blending = true;
        playback_.FramePos = static_cast<float>(playback_.Frame);
        // A blend without length (or without time) is an immediate switch.
        const bool noBlendTime = !(blendTime > 0.0f) || !std::isfinite(blendTime);
        if (noBlendTime || elapsed / blendTime >= 1.0) {
            playback_.Frame = playback_.TransitionTarget;
            playback_.FramePos = static_cast<float>(playback_.Frame);
            animation_ = nextAnimation_;
            clip_ = nextClip_;
            playback_.TransitionDone = true;
            playback_.FrameStart = now;
            if (animation_ == nullptr || clip_ == nullptr) playback_.Frame = -1;
        } else if (playback_.TransitionBlend && playback_.TransitionLength != 0) {
            playback_.BlendFraction =
                static_cast<float>(std::trunc(elapsed / stepTime) * (static_cast<double>(stepTime) / blendTime));
            playback_.FramePos = static_cast<float>(playback_.Frame + static_cast<double>(playback_.BlendFraction));
        }
    }

    if (Animating && !playback_.Blending) {
        const int32_t now = ClockMs();
        const double elapsed = ClockSince(now, playback_.FrameStart);
        // A clip without duration advances one frame per update.
        if (!(frameTime > 0.0f) || elapsed / frameTime >= 1.0) {
            playback_.Frame = playback_.Frame + 1 >= frames ? 0 : playback_.Frame + 1;
            playback_.FramePos = static_cast<float>(playback_.Frame);
            playback_.FrameStart = now;
        } else if (static_cast<float>(steps) > static_cast<float>(frames) * TimeScale) {
            const float stepTime = duration / static_cast<float>(steps);
            playback_.FramePos = static_cast<float>(playback_.Frame + std::trunc(elapsed / stepTime) *
                                                                          (static_cast<double>(stepTime) / frameTime));
        }
    }
}

void Animator::PoseSkeleton() {
    const int32_t frames = animation_->FrameCount;
    const int32_t k = TruncToInt(playback_.FramePos);
    const float f = RoundedFraction(playback_.FramePos, k);
    const int32_t k1 = k + 1 >= frames ? 0 : k + 1;
    const int32_t boneCount = static_cast<int32_t>(std::min(pose_.size(), skeleton_->Bones.size()));
    const KeySample none{{0, 0, 0}, {0, 0, 0}};

    for (int32_t b = 0; b < boneCount; ++b) {
        const SkeletonBone& bone = skeleton_->Bones[static_cast<size_t>(b)];
        const int32_t p = bone.Parent;
        const bool hasParent = p >= 0 && p < b;  // a parent is always posed before its children
        Quat start;
        QuatIdentity(start);
        if (hasParent) start = pose_[static_cast<size_t>(p)].Rotation;

        BonePose& pose = pose_[static_cast<size_t>(b)];
        const KeySample a = SampleKey(*animation_, b, k);
        pose.Rotation = Rotated(start, a.Rotation);
        pose.Translation = a.Translation;
        if (f != 0.0f) {
            KeySample next = none;
            if (!playback_.Blending) {
                next = SampleKey(*animation_, b, k1);
            } else if (nextAnimation_ != nullptr) {
                next = SampleKey(*nextAnimation_, b, playback_.TransitionTarget);
            }
            pose.Rotation = QuatSlerp(pose.Rotation, Rotated(start, next.Rotation), f);
            pose.Translation = VecLerp(pose.Translation, next.Translation, f);
        }

        Vec3 offset = VecAdd(bone.Pivot, pose.Translation);
        if (hasParent) {
            const BonePose& parent = pose_[static_cast<size_t>(p)];
            RotateAboutPoint(offset, parent.Rotation, skeleton_->Bones[static_cast<size_t>(p)].Pivot);
            offset = VecAdd(offset, parent.Offset);
        }
        pose.Offset = VecSub(offset, bone.Pivot);
    }
}

void Animator::BuildBoneTransforms() {
    const size_t boneCount = std::min(pose_.size(), skeleton_->Bones.size());
    for (size_t b = 0; b < boneCount; ++b) {
        boneTransforms_[b] = TransformOfPose(pose_[b], skeleton_->Bones[b].Pivot);
    }
}

void Animator::SkinVertices() {
    BuildBoneTransforms();
    SkinGroupedVertices(groups_, boneTransforms_.data(), skinned_);
}

void Animator::CopySkinnedToVertices() {
    const size_t count = std::min({skinnedVertices_.size(), skinned_.Slot.size(), model_->Vertices.size()});
    // Skinning rewrites only Position and Normal; the other fields are copied once per binding.
    if (!restFieldsCopied_) {
        std::copy_n(model_->Vertices.begin(), count, skinnedVertices_.begin());
        restFieldsCopied_ = true;
    }
    for (size_t v = 0; v < count; ++v) {
        const size_t e = skinned_.Slot[v];
        skinnedVertices_[v].Position = Vec3{skinned_.X[e], skinned_.Y[e], skinned_.Z[e]};
        skinnedVertices_[v].Normal = Vec3{skinned_.NX[e], skinned_.NY[e], skinned_.NZ[e]};
    }
}

void Animator::SkinVerticesReference(ModelVertices& out) {
    if (model_ == nullptr || skeleton_ == nullptr) return;
    out.assign(model_->Vertices.begin(), model_->Vertices.end());
    const size_t count = out.size();
    const int32_t boneCount = static_cast<int32_t>(std::min(pose_.size(), skeleton_->Bones.size()));
    const Vec3 origin{0, 0, 0};
    for (int32_t b = 0; b < boneCount; ++b) {
        Quat inverse = pose_[static_cast<size_t>(b)].Rotation;
        QuatInverse(inverse);
        inverseRotations_[static_cast<size_t>(b)] = inverse;
    }

    for (size_t v = 0; v < count; ++v) {
        const ModelVertex& rest = model_->Vertices[v];
        ModelVertex& skinned = out[v];
        for (int s = 0; s < 4; ++s) {
            const int32_t j = rest.Bones[s];
            if (j < 0 || j >= boneCount) continue;
            const BonePose& pose = pose_[static_cast<size_t>(j)];
            const Quat& inverse = inverseRotations_[static_cast<size_t>(j)];
            const float w = static_cast<float>(rest.Weights[s]) / 100.0f;
            const Vec3 p = VecScale(VecAdd(RotatedAbout(rest.Position, pose.Rotation, inverse,
                                                        skeleton_->Bones[static_cast<size_t>(j)].Pivot),
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
