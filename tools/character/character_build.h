// Builds the character's level records (movable, model, skeleton, animations, textures)
// from its readable sources and adds them to a level as movable 0.
#pragma once

#include <string>
#include <vector>

#include "tools/character/character_rig.h"
#include "tools/character/character_source.h"
#include "world/level_records.h"

namespace dv {

// Texture edge of every generated character texture.
inline constexpr int kCharacterTextureSize = 64;

// The character's records; indices are local (model 0, skeleton 0, animations 0..n-1,
// textures relative to the movable's texture slot).
struct BuiltCharacter {
    MovableRecord Movable;
    ModelRecord Model;
    SkeletonRecord Skeleton;
    std::vector<AnimationRecord> Animations;
    std::vector<PixelBlock> Textures;  // R5G6B5, kCharacterTextureSize square
    // Per clip and whole frame: how far the action has moved the body since the clip began
    // (world units, x right, z forward), as the sources state it. Not part of the level.
    std::vector<std::vector<Vec3>> BodyMoves;
};

// Builds everything from the sources. Throws CharacterSourceError naming the source file and
// line when the sources describe something that cannot be built (a bone with too many
// vertices, a constraint that names a missing marker, a record over its size limits).
BuiltCharacter BuildCharacter(const CharacterSource& src);

// The pose of clip `clipIndex` at whole frame `frame`, in the level's key form (model units),
// as written into the animation.
std::vector<RigKey> CharacterClipFrame(const BuiltCharacter& built, int clipIndex, int frame);

// Adds the character to `level`: its textures after the level's textures, its model,
// skeleton and animations after the level's, and its movable inserted as movable 0.
// Throws std::runtime_error when a count would leave its int16 range.
void AddCharacterToLevel(LevelFileData& level, const BuiltCharacter& built);

// A level that holds nothing but the character (no rooms); valid for the level reader.
LevelFileData CharacterOnlyLevel(const BuiltCharacter& built);

}  // namespace dv
