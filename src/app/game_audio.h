// The game's sound: which output it plays to (speakers, an offline record, nothing), the music
// of the title and closing pictures, the level's ambience, and the sounds the character's
// steps and actions make, found from the game state after each update tick.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/sound_system.h"
#include "audio/wav.h"
#include "character/actions_and_clips.h"
#include "world/level_records.h"
#include "world/level_sounds.h"

namespace dv {

struct GameState;

struct GameAudioOptions {
    bool Speakers = true;    // play to the sound device (not in headless runs)
    bool Mute = false;       // silence: no device, or a silent record
    std::string RecordPath;  // --audio-out: the mix rendered offline into this WAV file
};

// What the character did in one tick, as far as sound is concerned.
struct CharacterSoundState {
    CharacterAction Action = CharacterAction::Idle;
    int32_t Clip = -1;
    int32_t Frame = -1;
    int32_t Room = 0;
    int32_t CellColumn = 0;
    int32_t CellRow = 0;
    Vec3 Position{};
};

// Which sounds a tick makes: footfalls crossed since the last tick, and the action changes
// (take-off, landing with its fall height, grab, climb, let go, bump). Pure bookkeeping, so the
// rules can be tested without a sound device.
class CharacterSoundTriggers {
public:
    struct Event {
        enum class Kind : uint8_t { Footstep, Effect } What = Kind::Effect;
        SoundEffect Effect = SoundEffect::Jump;
        FloorSound Floor = FloorSound::Stone;
        Vec3 At{};
        float Gain = 1;
    };
    static constexpr int kMaxEventsPerTick = 8;

    // The events of the tick that ended in `now`, into `out` (returns how many).
    int Step(const CharacterSoundState& now, const LevelSounds& level, Event (&out)[kMaxEventsPerTick]);
    void Reset() { *this = CharacterSoundTriggers{}; }

    // The fall height counted from the highest point of the last flight; 0 on the ground.
    float FallHeight(float y) const { return airborne_ ? peakY_ - y : 0.0f; }

private:
    bool started_ = false;
    CharacterAction action_ = CharacterAction::Idle;
    int32_t clip_ = -1;
    int32_t frame_ = -1;
    bool airborne_ = false;
    float peakY_ = 0;
};

class GameAudio {
public:
    // Opens the output the options ask for, loads the sounds from `dataDir`/sounds and the
    // level's sidecar (`levelPath` with ".snd"). Every problem is one line in `warnings`;
    // none stops the game.
    void Start(const GameAudioOptions& options, const std::string& dataDir, const std::string& levelPath,
               const LevelMap& map, std::vector<std::string>& warnings);
    // Finishes the record (if any). False with `error` when it could not be written.
    bool Finish(std::string& error);

    void PlayMusic(MusicPiece piece) { sound_.PlayMusic(piece); }
    // Another level of the adventure: its sidecar replaces the last level's (problems are
    // warnings, as at Start).
    void ChangeLevel(const std::string& levelPath, const LevelMap& map, std::vector<std::string>& warnings);
    // The title or a level card is over: the music stops and the level's ambience starts.
    void EnterLevel(std::vector<std::string>& warnings);
    // The level is finished (its card shows): its ambience stops.
    void LeaveLevel() { sound_.StopAmbience(); }
    // The closing picture: the ambience stops and the closing music plays.
    void EnterClosing();
    // After an update tick: the sounds the character made in it.
    void AfterTick(const GameState& game);
    // Once a frame: the listener at the camera, the music stream fed.
    void Frame(const Vec3& eye, const Vec3& target);
    // With a record: mixes everything up to game clock `clockMs` into it.
    void RenderUpTo(int32_t clockMs);

    SoundSystem& Sounds() { return sound_; }
    const LevelSounds& Level() const { return level_; }
    bool Recording() const { return record_.IsOpen(); }

private:
    SoundSystem sound_;
    LevelSounds level_;
    std::string soundsDir_;
    CharacterSoundTriggers triggers_;
    WavWriter record_;
    int64_t framesRendered_ = 0;
    std::vector<int16_t> mixBlock_;  // one render block, sized at start
    std::string recordError_;
};

}  // namespace dv
