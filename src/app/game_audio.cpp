#include "app/game_audio.h"

#include <sys/stat.h>

#include <algorithm>

#include "app/game.h"

namespace dv {

namespace {

// Footsteps: running feet land harder than walking ones.
constexpr float kRunStepGain = 0.7f;
constexpr float kWalkStepGain = 0.3f;
constexpr float kShimmyGain = 0.6f;
// Landings: a hop is soft; from this drop on the landing is hard, and louder the deeper the
// fall, full at kFullLandingDrop.
constexpr float kHardLandingDrop = 12.0f;
constexpr float kFullLandingDrop = 24.0f;
// Where the hands are above the body position while hanging or climbing.
constexpr float kHandHeight = 60.0f;
// The longest block mixed at once into the record (a stall renders in several blocks).
constexpr int32_t kMixBlockFrames = 4800;

using Action = CharacterAction;

bool IsAirborne(Action a) {
    switch (a) {
        case Action::JumpUp:
        case Action::JumpApex:
        case Action::JumpForwardRise:
        case Action::JumpForwardAir:
        case Action::RunJumpTakeoff:
        case Action::RunJumpAir:
        case Action::RunJumpFall:
        case Action::Fall:
        case Action::JumpBackAir:
        case Action::BackFlip:
        case Action::HangDrop:
        case Action::HangFall:
        case Action::AwaitTransition:  // between a flight and its landing
            return true;
        default: return false;
    }
}

bool IsLanding(Action a) { return a == Action::Landing || a == Action::JumpUpLand || a == Action::LandRun; }
bool IsTakeOff(Action a) {
    return a == Action::JumpUp || a == Action::JumpForwardRise || a == Action::RunJumpAir || a == Action::JumpBackAir ||
           a == Action::BackFlip;
}
bool IsPullUp(Action a) {
    return a == Action::ClimbLow || a == Action::ClimbMid || a == Action::ClimbHigh || a == Action::ClimbFromHang ||
           a == Action::ClimbFromHighHang;
}

bool IsShimmyClip(int32_t clip) {
    const auto c = static_cast<CharacterClip>(clip);
    return c == CharacterClip::ShimmyLeft || c == CharacterClip::ShimmyRight || c == CharacterClip::HighShimmyLeft ||
           c == CharacterClip::HighShimmyRight;
}
bool IsRunningClip(int32_t clip) {
    const auto c = static_cast<CharacterClip>(clip);
    return c == CharacterClip::Run || c == CharacterClip::RunStopA || c == CharacterClip::RunStopB ||
           c == CharacterClip::LandRun;
}

// True when a footfall frame lies in the frames played since `from` (exclusive) up to `to`
// (inclusive); a loop that wrapped covers the end of the clip and its start.
bool CrossesFootfall(const ClipFootfalls& f, int32_t from, int32_t to) {
    for (const int32_t frame : f.Frames) {
        const bool crossed = from <= to ? frame > from && frame <= to : frame > from || frame <= to;
        if (crossed) return true;
    }
    return false;
}

bool FolderExists(const std::string& path) {
    struct stat s {};
    return stat(path.c_str(), &s) == 0 && S_ISDIR(s.st_mode);
}

}  // namespace

int CharacterSoundTriggers::Step(const CharacterSoundState& now, const LevelSounds& level,
                                 Event (&out)[kMaxEventsPerTick]) {
    int count = 0;
    const auto add = [&](const Event& e) {
        if (count < kMaxEventsPerTick) out[count++] = e;
    };
    const Vec3 feet = now.Position;
    const Vec3 hands = {now.Position.x, now.Position.y + kHandHeight, now.Position.z};
    if (!started_) {
        started_ = true;
        action_ = now.Action;
        clip_ = now.Clip;
        frame_ = now.Frame;
        peakY_ = now.Position.y;
        return 0;
    }

    const Action before = action_;
    if (now.Action != before) {
        if (IsTakeOff(now.Action)) add({Event::Kind::Effect, SoundEffect::Jump, {}, feet, 0.8f});
        if (IsLanding(now.Action) && airborne_) {
            const float drop = std::max(0.0f, peakY_ - now.Position.y);
            if (drop < kHardLandingDrop) {
                add({Event::Kind::Effect, SoundEffect::LandSoft, {}, feet, 0.6f});
            } else {
                const float gain =
                    std::min(1.0f, 0.6f + 0.4f * (drop - kHardLandingDrop) / (kFullLandingDrop - kHardLandingDrop));
                add({Event::Kind::Effect, SoundEffect::LandHard, {}, feet, gain});
            }
        }
        const bool grabFromAir = (now.Action == Action::Hang || now.Action == Action::HighHang) &&
                                 (airborne_ || before == Action::TurnAndGrab);
        if (now.Action == Action::GrabLedge || grabFromAir)
            add({Event::Kind::Effect, SoundEffect::Grab, {}, hands, 0.8f});
        if (IsPullUp(now.Action)) add({Event::Kind::Effect, SoundEffect::PullUp, {}, hands, 0.7f});
        if (now.Action == Action::HangDrop || now.Action == Action::HangFall)
            add({Event::Kind::Effect, SoundEffect::LetGo, {}, hands, 0.6f});
        if (now.Action == Action::BumpRecover) add({Event::Kind::Effect, SoundEffect::Bump, {}, hands, 0.8f});
    }

    // The flight: its highest point gives the landing's fall height.
    if (IsAirborne(now.Action)) {
        airborne_ = true;  // the peak starts from the last height on the ground
        peakY_ = std::max(peakY_, now.Position.y);
    } else {
        airborne_ = false;
        peakY_ = now.Position.y;
    }

    // A clip that runs on in the air (the run, off an edge) makes no footfalls there.
    if (now.Frame >= 0 && now.Clip >= 0 && !airborne_) {
        if (const ClipFootfalls* f = level.FootfallsOf(now.Clip)) {
            // A clip just started counts only its current frame.
            const int32_t from = now.Clip == clip_ && frame_ >= 0 ? frame_ : now.Frame - 1;
            if (now.Frame != from && CrossesFootfall(*f, from, now.Frame)) {
                if (IsShimmyClip(now.Clip)) {
                    add({Event::Kind::Effect, SoundEffect::Shimmy, {}, hands, kShimmyGain});
                } else {
                    const FloorSound floor = level.FloorAt(now.Room, now.CellColumn, now.CellRow);
                    add({Event::Kind::Footstep,
                         {},
                         floor,
                         feet,
                         IsRunningClip(now.Clip) ? kRunStepGain : kWalkStepGain});
                }
            }
        }
    }
    action_ = now.Action;
    clip_ = now.Clip;
    frame_ = now.Frame;
    return count;
}

void GameAudio::Start(const GameAudioOptions& options, const std::string& dataDir, const std::string& levelPath,
                      const LevelMap& map, std::vector<std::string>& warnings) {
    const bool record = !options.RecordPath.empty();
    if (!record && (options.Mute || !options.Speakers)) return;
    std::string error;
    if (!sound_.Open(record ? AudioOutput::Loopback : AudioOutput::Speakers, error)) {
        warnings.push_back("Sound: " + error + "; the game runs silently");
        return;
    }
    if (record) {
        if (!record_.Open(options.RecordPath, kLoopbackSampleRate, kLoopbackChannels, error)) {
            warnings.push_back(error);
            sound_.Close();
            return;
        }
        mixBlock_.assign(static_cast<size_t>(kMixBlockFrames) * kLoopbackChannels, 0);
    }
    // Muted, a record is made of silence: nothing is loaded, so nothing can play.
    if (options.Mute) return;

    soundsDir_ = dataDir.empty() ? std::string("sounds") : dataDir + (dataDir.back() == '/' ? "" : "/") + "sounds";
    if (!FolderExists(soundsDir_)) {
        warnings.push_back(soundsDir_ + ": no sound folder; the game runs without its sounds");
    } else {
        sound_.LoadSounds(soundsDir_, warnings);
    }
    ChangeLevel(levelPath, map, warnings);
}

void GameAudio::ChangeLevel(const std::string& levelPath, const LevelMap& map, std::vector<std::string>& warnings) {
    if (!sound_.IsOpen() || soundsDir_.empty()) return;  // silent, or a record of silence
    sound_.StopAmbience();
    std::string error;
    const std::string sidecar = LevelSoundsPath(levelPath);
    if (!LoadLevelSoundsFile(sidecar, level_, error) || !CheckLevelSoundsFit(level_, map, sidecar, error)) {
        warnings.push_back(error + "; the level plays without footsteps and ambience");
        level_ = {};
    }
}

bool GameAudio::Finish(std::string& error) {
    sound_.StopAmbience();
    sound_.StopMusic();
    // A record that failed on the way (a full disk) has closed its file already.
    if (!recordError_.empty()) {
        error = recordError_;
        record_.Discard();
        return false;
    }
    if (!record_.IsOpen()) return true;
    return record_.Finish(error);
}

void GameAudio::EnterLevel(std::vector<std::string>& warnings) {
    sound_.StopMusic();
    triggers_.Reset();
    if (FolderExists(soundsDir_)) sound_.StartAmbience(level_.Emitters, soundsDir_, warnings);
}

void GameAudio::EnterClosing() {
    sound_.StopAmbience();
    sound_.PlayMusic(MusicPiece::Closing);
}

void GameAudio::AfterTick(const GameState& g) {
    if (!sound_.IsOpen()) return;
    CharacterSoundState now;
    now.Action = static_cast<CharacterAction>(g.Body.Action);
    now.Clip = g.CharacterModel.CurrentClipId();
    now.Frame = g.CharacterModel.Playback().Frame;
    now.Room = g.Body.Room;
    now.CellColumn = g.Body.CellColumn;
    now.CellRow = g.Body.CellRow;
    now.Position = g.Body.Movement.Position;
    CharacterSoundTriggers::Event events[CharacterSoundTriggers::kMaxEventsPerTick];
    const int n = triggers_.Step(now, level_, events);
    for (int i = 0; i < n; ++i) {
        const auto& e = events[i];
        if (e.What == CharacterSoundTriggers::Event::Kind::Footstep) sound_.PlayFootstep(e.Floor, e.At, e.Gain);
        else sound_.PlayEffect(e.Effect, e.At, e.Gain);
    }
}

void GameAudio::Frame(const Vec3& eye, const Vec3& target) {
    sound_.SetListener(eye, target);
    sound_.Update();
}

void GameAudio::RenderUpTo(int32_t clockMs) {
    if (!record_.IsOpen() || !recordError_.empty()) return;
    const int64_t wanted = static_cast<int64_t>(clockMs) * kLoopbackSampleRate / 1000;
    while (framesRendered_ < wanted) {
        const auto n = static_cast<int32_t>(std::min<int64_t>(wanted - framesRendered_, kMixBlockFrames));
        sound_.Update();
        sound_.Render(mixBlock_.data(), n);
        if (!record_.Append(mixBlock_.data(), static_cast<size_t>(n), recordError_)) return;
        framesRendered_ += n;
    }
}

}  // namespace dv
