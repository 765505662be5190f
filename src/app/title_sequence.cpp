#include "app/title_sequence.h"

#include <string>
#include <vector>

#include "app/game.h"
#include "app/overlays.h"
#include "app/shell.h"
#include "app/shell_internal.h"
#include "math/clock.h"
#include "render/texture_slots.h"

namespace dv {

namespace {

constexpr int32_t kTitleMs = 6999;  // shown while clock - start <= this
constexpr int32_t kClosingMs = 4999;
constexpr int32_t kLevelCardMs = 3999;  // the next level's card

}  // namespace

void BeginPlay(Shell& shell) {
    shell.View.SetScene3D(GameScene3D, &shell);
    shell.View.SetOverlay2D(GameOverlay2D, &shell);
    ShellInternals::TitleState(shell) = TitleStep::ShowTitle;
    ShellInternals::PlayStartedAt(shell) = ClockMs();
    ShellInternals::UpdateCallback(shell) = GameUpdate;
    if (shell.Game) {
        HoldRunnerClock(shell.Game->Actions, ClockMs());  // the first step sees no time from the picture
        BeginLevelRun(*shell.Game, shell.PlayStartedAt());
    }
    std::vector<std::string> warnings;
    shell.Audio.EnterLevel(warnings);
    PrintWarnings(warnings);
}

void Shell::FinishLevel() {
    if (levelIndex_ + 1 >= levels_.size()) return EnterClosingPicture();
    View.SetScene3D(nullptr, nullptr);
    View.SetOverlay2D(nullptr, nullptr);
    updateCallback_ = TitleSequence;
    titleState_ = TitleStep::ShowLevelCard;
    playStartedAt_ = -1;
}

void Shell::EnterClosingPicture() {
    View.SetScene3D(nullptr, nullptr);
    View.SetOverlay2D(nullptr, nullptr);
    updateCallback_ = TitleSequence;
    titleState_ = TitleStep::ShowClosing;
}

void TitleSequence(Shell& shell) {
    const int32_t now = ClockMs();
    TitleStep& step = ShellInternals::TitleState(shell);
    int32_t& shownAt = ShellInternals::TitleStartTime(shell);
    switch (step) {
        case TitleStep::ShowTitle:
        case TitleStep::ShowClosing: {
            shell.View.SetScene3D(nullptr, nullptr);
            shell.View.SetOverlay2D(TitleOverlay2D, &shell);
            shownAt = now;
            // A missing picture leaves the slot empty: its quad then shows the plain grey of the
            // picture colour, with the text over it.
            std::string ignored;
            shell.Textures.LoadFromFile(kPictureSlot,
                                        shell.DataFile(step == TitleStep::ShowTitle ? "title1.jpg" : "title2.jpg"),
                                        false, true, ignored);
            if (step == TitleStep::ShowTitle) shell.Audio.PlayMusic(MusicPiece::Title);
            else shell.Audio.EnterClosing();
            step = step == TitleStep::ShowTitle ? TitleStep::Title : TitleStep::Closing;
            break;
        }
        case TitleStep::Title:
            if (ClockSince(now, shownAt) > kTitleMs) BeginPlay(shell);
            break;
        case TitleStep::Closing:
            if (ClockSince(now, shownAt) > kClosingMs) {
                shell.View.SetScene3D(nullptr, nullptr);
                shell.View.SetOverlay2D(nullptr, nullptr);
                shell.Close();
            }
            break;
        case TitleStep::ShowLevelCard: {
            // The next level's card: its picture and name while the level that was finished
            // falls silent. The level loads when the card ends.
            shell.View.SetOverlay2D(LevelCardOverlay2D, &shell);
            shownAt = now;
            std::string ignored;
            shell.Textures.LoadFromFile(kPictureSlot, shell.DataFile(shell.Levels()[shell.LevelIndex() + 1].Card),
                                        false, true, ignored);
            shell.Audio.LeaveLevel();
            step = TitleStep::LevelCard;
            break;
        }
        case TitleStep::LevelCard:
            if (ClockSince(now, shownAt) > kLevelCardMs) {
                shell.EnterLevel(shell.LevelIndex() + 1);
                BeginPlay(shell);
            }
            break;
    }
}

}  // namespace dv
