// The shell: the main window's state, start-up, the title and closing pictures, and the switch
// into the game. The platform loop (app/run.h) delivers window events and idle events here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/author_mode.h"
#include "app/game_audio.h"
#include "app/level_list.h"
#include "app/message_boxes.h"
#include "app/options.h"
#include "app/pause_menu.h"
#include "app/photo_mode.h"
#include "app/player_settings.h"
#include "app/save_game.h"
#include "app/title_sequence.h"
#include "character/settings.h"
#include "input/keyboard.h"
#include "motion/start_place.h"
#include "platform/player_folders.h"
#include "render/font.h"
#include "render/texture_store.h"
#include "render/viewport.h"
#include "world/level_records.h"
#include "world/sorted_array.h"
#include "world/source_compile.h"

struct SDL_Window;

namespace dv {

struct GameState;

// What the caller (app/run.cpp, app/run_web.cpp, tests, benchmarks) decides before the shell
// starts and hands to Shell::Start. The shell reads it and never modifies it, except that a
// --watch swap (ReloadLevel) names the level file compiled again and its rooms.
struct ShellSetup {
    std::string BasePath;  // the data folder, with its separator
    GameAudioOptions AudioSettings;
    TurnRates CharacterTurnRates{};      // from the settings file, read at process start
    PlayerFolders Folders;               // where the settings file and the saved games live
    PlayerSettings Settings;             // the player's, from settings.ini, as play starts with them
    std::string SingleLevel;             // --level: the one level played, no list; empty plays the list
    std::string LevelFolder;             // that level's folder, with its separator
    std::vector<std::string> RoomNames;  // of the level compiled from a source; empty for a .lev
    bool SkipTitle = false;              // --no-title: play starts at once
    StartPlace StartAt;                  // --at: where play starts instead of the level's start
    bool AuthorKeys = false;             // --author, --watch: the author keys are bound

    // A file of the data folder, or of the played level's folder when that has one of its
    // own (a level played with --level brings what it has and borrows the rest).
    std::string DataFile(const std::string& name) const;
};

class Shell {
public:
    using UpdateFn = void (*)(Shell& shell);

    Shell();
    ~Shell();
    Shell(const Shell&) = delete;
    Shell& operator=(const Shell&) = delete;

    // Runs the start-up sequence on `window` (its GL context current) with what the caller
    // decided. Fatal failures show their message and end the process.
    void Start(SDL_Window* window, const ShellSetup& setup);
    void Shutdown();  // releases the device
    // A device that cannot be set up again ends the process, as in Idle.
    void Resize(int width, int height);
    // One update and one frame while active; inactive, the character's clock is held.
    void Idle(bool active);
    // Shows `text` as an error, releases the device and ends the process with status 1.
    [[noreturn]] void FailGraphics(const std::string& text);

    void Close() { closeRequested_ = true; }
    // A key from the keyboard, the pads or a replay. Escape always ends the game; the menu
    // keys open and close the pause menu, which takes every other key while it is open;
    // F5 and F9 save and load the quick slot; the rest reach the keyboard state. `repeat`
    // marks the keyboard's auto-repeat, which toggles nothing.
    void KeyDown(int code, uint8_t shift, bool repeat = false);
    void KeyUp(int code, uint8_t shift);
    // The game after the title, as opposed to the title and closing pictures.
    bool InGame() const;
    bool Paused() const { return Menu.IsOpen(); }
    void OpenMenu();
    // Closes the menu; the game's clocks move on by the time it was open, so the next tick
    // is the one that would have followed had there been no pause.
    void ResumeGame();
    void RestartLevel();
    // Puts the settings that changed since the last call into effect: window size, full
    // screen, vertical sync (the rest are read where they are used).
    void ApplySettings();
    void ToggleFullScreen();
    // A line for the player at the bottom of the frame for a few seconds, and on stderr.
    void Notify(const std::string& text);
    void EnterClosingPicture();  // TitleStep::ShowClosing
    // The character reached the level's end trigger: the next level's card, or after the last
    // level the closing picture.
    void FinishLevel();
    // Loads level `index` of the list and starts a new game on it (the card's end, a saved
    // game of another level). Fatal failures end the process, as at start-up.
    void EnterLevel(size_t index);

    // Swaps in `level`, compiled again from the source played with --watch, between two
    // frames: the character, camera and clocks stay as they were when the character's room
    // still exists and its cell is still open (standing on the floor there, wherever that is
    // now), else the character starts again at the start; the new level's sounds play.
    void ReloadLevel(const CompiledSource& level);

    // A file of the data folder, or of the played level's folder (ShellSetup::DataFile).
    std::string DataFile(const std::string& name) const { return setup_.DataFile(name); }
    // The file of level `index` of the list.
    std::string LevelPath(size_t index) const;

    // The shell's record of where play stands, read-only. The shell writes it; outside
    // shell*.cpp only the modules that keep a part of it do, through app/shell_internal.h: the
    // title sequence (the update callback, title step and times, when play started), the save
    // slots (when the menu opened, the slot lines), the menu's settings commands (the player's
    // settings) and the run loop (the --watch fault).
    const ShellSetup& Setup() const { return setup_; }
    const PlayerSettings& Settings() const { return settings_; }  // as the player has set them now
    bool Running() const { return running_; }                     // from the end of Start on
    bool CloseRequested() const { return closeRequested_; }
    UpdateFn UpdateCallback() const { return updateCallback_; }
    TitleStep TitleState() const { return titleState_; }
    int32_t OuterWidth() const { return outerWidth_; }  // the window's outer size, shown in the overlay
    int32_t OuterHeight() const { return outerHeight_; }
    const std::vector<LevelEntry>& Levels() const { return levels_; }  // the adventure, from levels.txt
    size_t LevelIndex() const { return levelIndex_; }         // the level played (or, on its card, about to be)
    int32_t PlayStartedAt() const { return playStartedAt_; }  // the clock play began in it; -1 on a picture
    int32_t PausedAt() const { return pausedAt_; }            // the clock when the menu opened
    const std::vector<std::string>& SlotLines() const { return slotLines_; }  // as the menu lists them
    const std::string& Notice() const { return notice_; }
    int32_t NoticeUntil() const { return noticeUntil_; }
    const std::string& ReloadError() const { return reloadError_; }  // --watch: the source's fault

    // The shell's parts, used in place by the game's modules of app/. Keep their order: members
    // go in reverse, so the game's state and the sounds go before the view and the textures.
    MessageBoxes Boxes;  // the viewport and the texture store tell the player through these
    Camera ViewCamera;
    Viewport View;
    TextureStore Textures;
    LevelRecord Level;
    BitmapFont Font;
    IdList ObjectIds;
    std::unique_ptr<GameState> Game;
    KeyboardState Keys;  // written by the key handlers, read by each update tick
    GameAudio Audio;
    PauseMenu Menu;
    AuthorMode Author;  // the author keys' fly camera (app/author_mode.cpp)
    PhotoMode Photo;    // the pause menu's photo camera (app/photo_mode.cpp)

private:
    // Reads levels.txt and checks every level it lists, so that a broken one is found at
    // start-up rather than when the player reaches it.
    void ReadLevels();
    // Level `index`'s file, its textures and lightmaps, the font and the object index.
    void LoadLevelAt(size_t index);
    // --at on the loaded first level; a place that does not exist or where the character
    // cannot stand ends the run with one line and status 2.
    void ResolveStartAt();
    // --at on the loaded level: "" when StartOverride holds the place, else what is wrong.
    std::string PlaceStartAt();

    friend struct ShellInternals;

    ShellSetup setup_;
    bool running_ = false;
    bool closeRequested_ = false;
    UpdateFn updateCallback_ = nullptr;
    TitleStep titleState_ = TitleStep::ShowTitle;
    int32_t titleStartTime_ = 0;
    int32_t outerWidth_ = 800;
    int32_t outerHeight_ = 600;
    SDL_Window* window_ = nullptr;
    int32_t pausedAt_ = 0;  // the clock when the menu opened
    PlayerSettings settings_;
    PlayerSettings appliedSettings_;  // what ApplySettings last put into effect
    LevelIdentity levelId_;           // of the level file played, checked by every load
    std::vector<LevelEntry> levels_;
    std::vector<LevelIdentity> levelIds_;  // of each of levels_, for saved games
    size_t levelIndex_ = 0;
    int32_t playStartedAt_ = -1;
    std::vector<std::string> slotLines_;
    // --at resolved on the loaded level: CreateGameState starts there instead of at the level's start.
    bool hasStartOverride_ = false;
    PlacedStart startOverride_;
    float startHeading_ = 0;
    std::string notice_;
    int32_t noticeUntil_ = 0;
    std::string reloadError_;
};

// Sound problems never stop the game; they are one line each on stderr.
void PrintWarnings(const std::vector<std::string>& warnings);

}  // namespace dv
