#include "tools/character/character_source.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

#include "files/read_file.h"
#include "tools/common/source_line.h"

namespace dv {
namespace {

// Splits one source file into lines of words, comments removed, with line numbers.
class LineReader {
public:
    LineReader(const std::string& name, const std::string& text) : name_(name) {
        std::istringstream in(text);
        std::string line;
        int number = 0;
        while (std::getline(in, line)) {
            ++number;
            const size_t hash = line.find('#');
            if (hash != std::string::npos) line.resize(hash);
            std::istringstream words(line);
            std::vector<std::string> w;
            for (std::string s; words >> s;) w.push_back(s);
            if (!w.empty()) lines_.push_back({number, std::move(w)});
        }
    }

    bool Done() const { return next_ >= lines_.size(); }
    const std::vector<std::string>& Next() {
        line_ = lines_[next_].first;
        return lines_[next_++].second;
    }
    const std::vector<std::string>& Peek() const { return lines_[next_].second; }
    int Line() const { return line_; }
    int LastLine() const { return lines_.empty() ? 0 : lines_.back().first; }

    [[noreturn]] void Fail(const std::string& what) const { FailAt(line_, what); }
    [[noreturn]] void FailAt(int line, const std::string& what) const {
        throw CharacterSourceError(name_ + ":" + std::to_string(line) + ": " + what);
    }

    float Number(const std::vector<std::string>& w, size_t i) const {
        if (i >= w.size()) Fail("'" + w[0] + "' needs more values");
        const std::string& s = w[i];
        size_t used = 0;
        float v = 0;
        try {
            v = std::stof(s, &used);
        } catch (const std::exception&) {
            used = 0;
        }
        if (used != s.size() || !std::isfinite(v)) Fail("'" + s + "' is not a number");
        return v;
    }
    int Integer(const std::vector<std::string>& w, size_t i, int lo, int hi) const {
        const float v = Number(w, i);
        if (v != std::floor(v) || v < static_cast<float>(lo) || v > static_cast<float>(hi)) {
            Fail("'" + w[i] + "' is not a whole number from " + std::to_string(lo) + " to " + std::to_string(hi));
        }
        return static_cast<int>(v);
    }
    Vec3 Vector(const std::vector<std::string>& w, size_t i) const {
        return {Number(w, i), Number(w, i + 1), Number(w, i + 2)};
    }
    void Count(const std::vector<std::string>& w, size_t n) const {
        if (w.size() != n)
            Fail("'" + w[0] + "' takes " + std::to_string(n - 1) + " values, not " + std::to_string(w.size() - 1));
    }

private:
    std::string name_;
    std::vector<std::pair<int, std::vector<std::string>>> lines_;
    size_t next_ = 0;
    int line_ = 0;
};

int FindName(const std::vector<CharacterJoint>& joints, const std::string& name) {
    for (size_t i = 0; i < joints.size(); ++i) {
        if (joints[i].Name == name) return static_cast<int>(i);
    }
    return -1;
}

void ParseSkeleton(LineReader& r, CharacterSource& src) {
    while (!r.Done()) {
        const auto& w = r.Next();
        if (w[0] == "scale") {
            r.Count(w, 2);
            src.Scale = r.Number(w, 1);
            if (src.Scale <= 0) r.Fail("the scale must be positive");
        } else if (w[0] == "bone") {
            r.Count(w, 6);
            if (FindName(src.Joints, w[1]) >= 0) r.Fail("bone '" + w[1] + "' is defined twice");
            CharacterJoint j;
            j.Name = w[1];
            if (w[2] != "-") {
                j.Parent = FindName(src.Joints, w[2]);
                if (j.Parent < 0) r.Fail("parent '" + w[2] + "' is not a bone defined above");
            } else if (!src.Joints.empty()) {
                r.Fail("only the first bone may be the root");
            }
            j.Pivot = r.Vector(w, 3);
            src.Joints.push_back(j);
            if (src.Joints.size() > 64) r.Fail("more than 64 bones");
        } else if (w[0] == "marker") {
            r.Count(w, 6);
            CharacterMarker m;
            m.Name = w[1];
            m.Bone = FindName(src.Joints, w[2]);
            if (m.Bone < 0) r.Fail("bone '" + w[2] + "' is not defined");
            m.Point = r.Vector(w, 3);
            src.Markers.push_back(m);
        } else {
            r.Fail("unknown statement '" + w[0] + "'");
        }
    }
    if (src.Joints.empty()) r.FailAt(r.LastLine(), "the skeleton has no bones");
}

uint8_t ColourByte(const LineReader& r, const std::vector<std::string>& w, size_t i) {
    return static_cast<uint8_t>(r.Integer(w, i, 0, 255));
}

void ParseMesh(LineReader& r, CharacterSource& src) {
    static const char* kStyles[] = {"skin", "face", "cloth", "hair", "leather"};
    while (!r.Done()) {
        const auto& w = r.Next();
        if (w[0] == "texture") {
            if (w.size() != 6 && w.size() != 9) r.Fail("'texture' takes a name, a style and one or two colours");
            CharacterTextureSource t;
            t.Name = w[1];
            t.Style = w[2];
            if (std::find(std::begin(kStyles), std::end(kStyles), t.Style) == std::end(kStyles)) {
                r.Fail("unknown texture style '" + t.Style + "'");
            }
            for (int c = 0; c < 3; ++c) t.Base[c] = ColourByte(r, w, 3 + c);
            for (int c = 0; c < 3; ++c) t.Accent[c] = w.size() == 9 ? ColourByte(r, w, 6 + c) : t.Base[c];
            src.Textures.push_back(t);
        } else if (w[0] == "part") {
            if (w.size() < 16 || w[4] != "from" || w[10] != "to") {
                r.Fail("'part' reads: part NAME BONE TEXTURE from X Y Z R1 R2 to X Y Z R1 R2 [options]");
            }
            CharacterPart p;
            p.Name = w[1];
            p.Line = r.Line();
            p.Bone = FindName(src.Joints, w[2]);
            if (p.Bone < 0) r.Fail("bone '" + w[2] + "' is not defined");
            p.Texture = -1;
            for (size_t t = 0; t < src.Textures.size(); ++t) {
                if (src.Textures[t].Name == w[3]) p.Texture = static_cast<int>(t);
            }
            if (p.Texture < 0) r.Fail("texture '" + w[3] + "' is not defined above");
            p.From = r.Vector(w, 5);
            p.FromR1 = r.Number(w, 8);
            p.FromR2 = r.Number(w, 9);
            p.To = r.Vector(w, 11);
            p.ToR1 = r.Number(w, 14);
            p.ToR2 = r.Number(w, 15);
            if (std::min({p.FromR1, p.FromR2, p.ToR1, p.ToR2}) <= 0) r.Fail("radii must be positive");
            if (VecLength(VecSub(p.To, p.From)) < 1e-3f) r.Fail("the part's ends coincide");
            for (size_t i = 16; i < w.size(); i += 2) {
                if (i + 1 >= w.size()) r.Fail("option '" + w[i] + "' needs a value");
                if (w[i] == "sides") {
                    p.Sides = r.Integer(w, i + 1, 3, 64);
                } else if (w[i] == "rings") {
                    p.Rings = r.Integer(w, i + 1, 1, 64);
                } else if (w[i] == "caps") {
                    p.Caps = r.Integer(w, i + 1, 1, 16);
                } else if (w[i] == "gloss") {
                    p.Gloss = static_cast<uint16_t>(r.Integer(w, i + 1, 0, 255));
                } else if (w[i] == "blend") {
                    p.Blend = r.Number(w, i + 1);
                    if (p.Blend <= 0) r.Fail("the blend length must be positive");
                } else {
                    r.Fail("unknown part option '" + w[i] + "'");
                }
            }
            src.Parts.push_back(p);
        } else {
            r.Fail("unknown statement '" + w[0] + "'");
        }
    }
    if (src.Parts.empty()) r.FailAt(r.LastLine(), "the mesh has no parts");
}

CharacterPose RestPose(const CharacterSource& src) {
    CharacterPose p;
    p.Angles.assign(src.Joints.size(), Vec3{0, 0, 0});
    return p;
}

// Reads one pose line ("BONE RX RY RZ", "add BONE ...", "root X Y Z") into `pose`;
// false when the line is something else.
bool PoseLine(const LineReader& r, const CharacterSource& src, const std::vector<std::string>& w, CharacterPose& pose) {
    if (w[0] == "root") {
        r.Count(w, 4);
        pose.Root = r.Vector(w, 1);
        return true;
    }
    const bool add = w[0] == "add";
    const std::string& name = add ? (w.size() > 1 ? w[1] : std::string()) : w[0];
    const int bone = FindName(src.Joints, name);
    if (bone < 0) return false;
    r.Count(w, add ? 5 : 4);
    const Vec3 v = r.Vector(w, add ? 2 : 1);
    Vec3& a = pose.Angles[static_cast<size_t>(bone)];
    a = add ? VecAdd(a, v) : v;
    return true;
}

void ParseKeyOptions(const LineReader& r, const std::vector<std::string>& w, CharacterKeySource& key) {
    if (w[0] == "ground") {
        if (w.size() > 2) r.Fail("'ground' takes at most one value");
        key.Ground = w.size() == 2 ? r.Number(w, 1) : 0.0f;
    } else if (w[0] == "hands") {
        r.Count(w, 4);
        key.Hands = r.Vector(w, 1);
    } else {
        r.Fail("unknown bone or statement '" + w[0] + "'");
    }
}

CharacterKeySource MirrorKey(const CharacterSource& src, const CharacterKeySource& k) {
    CharacterKeySource m = k;
    m.Pose = MirrorPose(src, k.Pose);
    if (m.Hands) m.Hands->x = -m.Hands->x;
    return m;
}

void ParseClip(LineReader& r, CharacterSource& src, const std::map<std::string, CharacterPose>& poses,
               const std::vector<std::string>& head) {
    CharacterClipSource clip;
    clip.Line = r.Line();
    if (head.size() < 3) r.Fail("'clip' needs an id and a name");
    clip.Id = r.Integer(head, 1, 0, 32767);
    clip.Name = head[2];
    std::optional<int> mirrorOf;
    for (size_t i = 3; i < head.size(); ++i) {
        const std::string& o = head[i];
        if (o == "loop") {
            clip.Loop = true;
        } else if (o == "ground") {
            clip.Ground = true;
        } else if (o == "frames") {
            clip.Frames = r.Integer(head, ++i, 1, 32767);
        } else if (o == "ms") {
            clip.FrameMs = r.Integer(head, ++i, 1, 100000);
        } else if (o == "steps") {
            clip.Steps = r.Integer(head, ++i, 0, 100);
        } else if (o == "mirror") {
            mirrorOf = r.Integer(head, ++i, 0, 32767);
        } else if (o == "hands") {
            clip.Hands = r.Vector(head, i + 1);
            i += 3;
        } else {
            r.Fail("unknown clip option '" + o + "'");
        }
    }
    if (!src.Clips.empty() && src.Clips.back().Id >= clip.Id) {
        r.Fail("clip " + std::to_string(clip.Id) + " does not follow clip " + std::to_string(src.Clips.back().Id) +
               " in ascending order");
    }
    clip.MirrorOf = mirrorOf;
    if (!mirrorOf && (clip.Frames == 0 || clip.FrameMs == 0)) r.Fail("a clip needs 'frames' and 'ms'");

    CharacterKeySource* key = nullptr;
    for (;;) {
        if (r.Done()) r.FailAt(r.LastLine(), "clip " + std::to_string(clip.Id) + " has no 'end'");
        const auto& w = r.Next();
        if (w[0] == "end") break;
        if (w[0] == "body") {
            if (mirrorOf) r.Fail("a mirrored clip takes its body moves from its original");
            r.Count(w, 6);
            CharacterBodyMove b;
            b.FromFrame = r.Integer(w, 1, 0, clip.Frames);
            b.ToFrame = r.Integer(w, 2, b.FromFrame + 1, clip.Frames);
            b.Delta = r.Vector(w, 3);
            clip.Body.push_back(b);
        } else if (w[0] == "footfall") {
            if (!clip.Footfalls.empty()) r.Fail("a clip has one 'footfall' line");
            if (w.size() < 2 || w.size() > 7) r.Fail("'footfall' reads: footfall FRAME [FRAME ...], 1 to 6 frames");
            const int frames = clip.Frames > 0 ? clip.Frames : 32767;
            for (size_t i = 1; i < w.size(); ++i) {
                const int f = r.Integer(w, i, 0, std::min(frames - 1, 255));
                if (!clip.Footfalls.empty() && f <= clip.Footfalls.back()) r.Fail("footfall frames must ascend");
                clip.Footfalls.push_back(f);
            }
        } else if (w[0] == "key") {
            if (mirrorOf) r.Fail("a mirrored clip takes no keys");
            CharacterKeySource k;
            k.Line = r.Line();
            k.Frame = r.Integer(w, 1, 0, clip.Frames - 1);
            if (clip.Keys.empty() && k.Frame != 0) r.Fail("the first key must be at frame 0");
            if (!clip.Keys.empty() && k.Frame <= clip.Keys.back().Frame) r.Fail("keys must be in ascending frames");
            k.Pose = clip.Keys.empty() ? RestPose(src) : clip.Keys.back().Pose;
            if (w.size() == 4 && w[2] == "=") {
                const auto it = poses.find(w[3]);
                if (it == poses.end()) r.Fail("pose '" + w[3] + "' is not defined above");
                k.Pose = it->second;
            } else if (w.size() == 4 && w[2] == "mirror") {
                const int f = r.Integer(w, 3, 0, k.Frame - 1);
                const CharacterKeySource* from = nullptr;
                for (const auto& e : clip.Keys) {
                    if (e.Frame == f) from = &e;
                }
                if (from == nullptr) r.Fail("there is no key at frame " + std::to_string(f));
                const CharacterKeySource m = MirrorKey(src, *from);
                k.Pose = m.Pose;
                k.Ground = m.Ground;
                k.Hands = m.Hands;
            } else if (w.size() != 2) {
                r.Fail("'key' reads: key FRAME [= POSE | mirror FRAME]");
            }
            clip.Keys.push_back(k);
            key = &clip.Keys.back();
        } else {
            if (key == nullptr) r.Fail("'" + w[0] + "' outside a key");
            if (!PoseLine(r, src, w, key->Pose)) ParseKeyOptions(r, w, *key);
        }
    }
    if (clip.Keys.empty() && !mirrorOf) r.FailAt(clip.Line, "clip " + std::to_string(clip.Id) + " has no keys");
    src.Clips.push_back(std::move(clip));
}

// Fills every mirrored clip from its original (which may come later in the file).
void ResolveMirrors(const LineReader& r, CharacterSource& src) {
    for (CharacterClipSource& clip : src.Clips) {
        if (!clip.MirrorOf) continue;
        const CharacterClipSource* base = nullptr;
        for (const auto& c : src.Clips) {
            if (c.Id == *clip.MirrorOf) base = &c;
        }
        if (base == nullptr || base->MirrorOf) {
            r.FailAt(clip.Line, "clip " + std::to_string(*clip.MirrorOf) + " is not a keyed clip of this file");
        }
        clip.Frames = clip.Frames ? clip.Frames : base->Frames;
        clip.FrameMs = clip.FrameMs ? clip.FrameMs : base->FrameMs;
        clip.Loop = clip.Loop || base->Loop;
        clip.Ground = clip.Ground || base->Ground;
        clip.Steps = base->Steps;
        if (base->Hands) clip.Hands = Vec3{-base->Hands->x, base->Hands->y, base->Hands->z};
        for (CharacterBodyMove b : base->Body) {
            b.Delta.x = -b.Delta.x;
            clip.Body.push_back(b);
        }
        for (const auto& k : base->Keys) clip.Keys.push_back(MirrorKey(src, k));
        if (clip.Footfalls.empty()) clip.Footfalls = base->Footfalls;
        if (!clip.Footfalls.empty() && clip.Footfalls.back() >= clip.Frames)
            r.FailAt(clip.Line, "a footfall lies past the last frame of clip " + std::to_string(clip.Id));
    }
    for (CharacterClipSource& clip : src.Clips) clip.MirrorOf.reset();
}

void ParseClips(LineReader& r, CharacterSource& src) {
    std::map<std::string, CharacterPose> poses;
    while (!r.Done()) {
        const auto& w = r.Next();
        if (w[0] == "pose") {
            if (w.size() != 2 && !(w.size() == 4 && (w[2] == "=" || w[2] == "mirror"))) {
                r.Fail("'pose' reads: pose NAME [= BASE | mirror BASE]");
            }
            if (poses.count(w[1])) r.Fail("pose '" + w[1] + "' is defined twice");
            CharacterPose pose = RestPose(src);
            if (w.size() == 4) {
                const auto it = poses.find(w[3]);
                if (it == poses.end()) r.Fail("pose '" + w[3] + "' is not defined above");
                pose = w[2] == "=" ? it->second : MirrorPose(src, it->second);
            }
            const std::string name = w[1];
            for (;;) {
                if (r.Done()) r.FailAt(r.LastLine(), "pose '" + name + "' has no 'end'");
                const auto& l = r.Next();
                if (l[0] == "end") break;
                if (!PoseLine(r, src, l, pose)) r.Fail("unknown bone '" + l[0] + "'");
            }
            poses[name] = pose;
        } else if (w[0] == "clip") {
            ParseClip(r, src, poses, w);
        } else {
            r.Fail("unknown statement '" + w[0] + "'");
        }
    }
    ResolveMirrors(r, src);
}

std::string ReadText(const std::string& path) {
    std::string text, error;
    const FileRead got = ReadWholeFile(path, kMaxSourceFileBytes, text, error);
    if (got == FileRead::Missing) throw CharacterSourceError(path + ": cannot open the file");
    if (got == FileRead::Refused) throw CharacterSourceError(error);
    return text;
}

}  // namespace

int MirrorBone(const CharacterSource& src, int bone) {
    const std::string& n = src.Joints[static_cast<size_t>(bone)].Name;
    if (n.size() < 3 || n[1] != '_' || (n[0] != 'l' && n[0] != 'r')) return bone;
    const std::string other = std::string(1, n[0] == 'l' ? 'r' : 'l') + n.substr(1);
    const int m = FindName(src.Joints, other);
    return m >= 0 ? m : bone;
}

CharacterPose MirrorPose(const CharacterSource& src, const CharacterPose& pose) {
    CharacterPose m;
    m.Angles.resize(pose.Angles.size());
    for (size_t b = 0; b < pose.Angles.size(); ++b) {
        const Vec3& a = pose.Angles[b];
        m.Angles[static_cast<size_t>(MirrorBone(src, static_cast<int>(b)))] = {a.x, -a.y, -a.z};
    }
    m.Root = {-pose.Root.x, pose.Root.y, pose.Root.z};
    return m;
}

CharacterSource ParseCharacterSource(const std::string& skeletonName, const std::string& skeletonText,
                                     const std::string& meshName, const std::string& meshText,
                                     const std::string& clipsName, const std::string& clipsText) {
    CharacterSource src;
    src.SkeletonFile = skeletonName;
    src.MeshFile = meshName;
    src.ClipsFile = clipsName;
    LineReader skeleton(skeletonName, skeletonText);
    ParseSkeleton(skeleton, src);
    LineReader mesh(meshName, meshText);
    ParseMesh(mesh, src);
    LineReader clips(clipsName, clipsText);
    ParseClips(clips, src);
    return src;
}

CharacterSource LoadCharacterSource(const std::string& dir) {
    const std::string base = dir.empty() || dir.back() == '/' ? dir : dir + "/";
    const std::string s = base + "skeleton.txt", m = base + "mesh.txt", c = base + "clips.txt";
    const std::string skeleton = ReadText(s);
    const std::string mesh = ReadText(m);
    const std::string clips = ReadText(c);
    return ParseCharacterSource(s, skeleton, m, mesh, c, clips);
}

}  // namespace dv
