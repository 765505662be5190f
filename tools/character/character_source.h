// The readable sources of the character: joints, mesh parts with their textures, and the
// keyframed poses of every clip.
//
// Three line-based text files (`#` starts a comment, words are separated by blanks):
//
// skeleton.txt
//   scale S                          world units per model unit (the shell draws at 3.2)
//   bone NAME PARENT|- X Y Z         joint pivot in model units; parents come first
//   marker NAME BONE X Y Z           a point carried by a bone (hand grips, heels, toes)
//
// mesh.txt
//   texture NAME STYLE R G B [R G B] a procedural 64 x 64 texture (styles: skin, face,
//                                    cloth, hair, leather); the second colour is an accent
//   part NAME BONE TEXTURE from X Y Z R1 R2 to X Y Z R1 R2 [sides N] [rings N] [caps N]
//        [gloss N] [blend L]         a capsule with elliptic sections from one end to the
//                                    other; R1 lies along x (or z when the axis is along x)
//
// clips.txt (angles in degrees, translations in world units)
//   pose NAME [= BASE | mirror BASE] a named pose, from a base or its mirror image; lines
//                                    "BONE RX RY RZ", "add BONE RX RY RZ", "root X Y Z"; end
//   clip ID NAME frames N ms M [steps S] [loop] [ground] [hands X Y Z] [mirror ID]
//     body F0 F1 DX DY DZ            the action moves the body by this much from the start of
//                                    frame F0 to the start of frame F1 (held afterwards)
//     footfall F [F ...]             frames on which a foot meets the ground (a hand the
//                                    ledge, in hanging clips): the game plays a step there
//     key F [= POSE] [mirror F2]     a key: starts from POSE, the mirror image of key F2, or
//                                    the previous key; then lines "BONE RX RY RZ",
//                                    "add BONE RX RY RZ", "root X Y Z", "ground [Y]",
//                                    "hands X Y Z"
//   end
// A mirrored clip ("mirror ID", no keys) copies another keyed clip with left and right swapped,
// and its footfalls unless it states its own.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "math/vecmath.h"

namespace dv {

// A malformed source; what() is "<file>:<line>: <what was wrong>".
class CharacterSourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct CharacterJoint {
    std::string Name;
    int Parent = -1;
    Vec3 Pivot{};
};

struct CharacterMarker {
    std::string Name;
    int Bone = 0;
    Vec3 Point{};
};

struct CharacterTextureSource {
    std::string Name;
    std::string Style;
    uint8_t Base[3]{};
    uint8_t Accent[3]{};
};

struct CharacterPart {
    std::string Name;
    int Bone = 0;
    int Texture = 0;
    Vec3 From{}, To{};
    float FromR1 = 0, FromR2 = 0, ToR1 = 0, ToR2 = 0;
    int Sides = 10;
    int Rings = 4;
    int Caps = 3;
    uint16_t Gloss = 0;
    float Blend = 0.45f;  // length over which a joint's weight fades, model units
    int Line = 0;
};

// A pose: values per bone (by index) and the root translation, world units.
struct CharacterPose {
    std::vector<Vec3> Angles;
    Vec3 Root{};
};

struct CharacterKeySource {
    int Frame = 0;
    int Line = 0;
    CharacterPose Pose;
    std::optional<float> Ground;  // solve the root height so the lowest foot point is here
    std::optional<Vec3> Hands;    // solve the root translation so the hand grips meet here
};

struct CharacterBodyMove {
    int FromFrame = 0, ToFrame = 0;
    Vec3 Delta{};
};

struct CharacterClipSource {
    int Id = 0;
    std::string Name;
    int Line = 0;
    int Frames = 0;
    int FrameMs = 0;
    int Steps = 3;
    bool Loop = false;
    bool Ground = false;
    std::optional<Vec3> Hands;
    std::vector<CharacterBodyMove> Body;
    std::vector<CharacterKeySource> Keys;
    std::vector<int> Footfalls;   // ascending frames, at most 6
    std::optional<int> MirrorOf;  // set while parsing only
};

struct CharacterSource {
    std::string SkeletonFile, MeshFile, ClipsFile;  // names used in messages
    float Scale = 3.2f;
    std::vector<CharacterJoint> Joints;
    std::vector<CharacterMarker> Markers;
    std::vector<CharacterTextureSource> Textures;
    std::vector<CharacterPart> Parts;
    std::vector<CharacterClipSource> Clips;  // ascending id
};

// Parses the three files from their text; the names appear in messages.
CharacterSource ParseCharacterSource(const std::string& skeletonName, const std::string& skeletonText,
                                     const std::string& meshName, const std::string& meshText,
                                     const std::string& clipsName, const std::string& clipsText);
// Reads skeleton.txt, mesh.txt and clips.txt from `dir`.
CharacterSource LoadCharacterSource(const std::string& dir);

// Index of the bone that mirrors `bone` (l_NAME <-> r_NAME), or the bone itself.
int MirrorBone(const CharacterSource& src, int bone);
// The mirror image of a pose across the body's middle plane.
CharacterPose MirrorPose(const CharacterSource& src, const CharacterPose& pose);

}  // namespace dv
