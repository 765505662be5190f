// The shell: the main window's state, start-up, the title and closing pictures, and the switch
// into the game. The platform loop (app/run.h) delivers window events and idle events here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/game_audio.h"
#include "app/level_list.h"
#include "app/message_boxes.h"
#include "app/options.h"
#include "app/pause_menu.h"
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

class Shell {
public:
    using UpdateFn = void (*)(Shell& shell);

    Shell();
    ~Shell();
    Shell(const Shell&) = delete;
    Shell& operator=(const Shell&) = delete;

    // Runs the start-up sequence on `window` (its GL context current). Fatal failures show
    // their message and end the process.
    void Start(SDL_Window* window, const std::string& basePath);
    void Shutdown();  // releases the device
    // A device that cannot be set up again ends the process, as in Idle.
    void Resize(int width, int height);
    // One update and one frame while active; inactive, the character's clock is held.
    void Idle(bool active);
    // Shows `text` as an error, releases the device and ends the process with status 1.
    [[noreturn]] void FailGraphics(const std::string& text);

    void Close() { CloseRequested = true; }
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

    // A file of the data folder, or of the played level's folder when that has one of its
    // own (a level played with --level brings what it has and borrows the rest).
    std::string DataFile(const std::string& name) const;
    // The file of level `index` of the list.
    std::string LevelPath(size_t index) const;

    // Who writes what. The caller (app/run.cpp, tests, benchmarks) sets before Start and never
    // again: BasePath, AudioSettings, CharacterTurnRates, Folders, SingleLevel, LevelFolder,
    // RoomNames, SkipTitle, StartAt, and Settings, which afterwards only the menu's settings
    // commands (app/player_settings.cpp) change; a --watch swap (ReloadLevel, in
    // app/source_reload.cpp) sets SingleLevel and RoomNames again, and app/run.cpp ReloadError. The shell's parts
    // (Boxes, ViewCamera, View, Textures, Level, Font, ObjectIds, Game, Keys, Audio, Menu) are used in place by the
    // game's modules of app/. Everything else is the shell's own record of where play stands; outside shell*.cpp only
    // these write it: the title sequence (TitleState, TitleStartTime, UpdateCallback, PlayStartedAt), the save slots
    // (PausedAt, SlotLines) and the game (Game).
    MessageBoxes Boxes;  // the viewport and the texture store tell the player through these
    bool Running = false;
    bool CloseRequested = false;
    std::string BasePath;
    Camera ViewCamera;
    Viewport View;
    TextureStore Textures;
    LevelRecord Level;
    BitmapFont Font;
    IdList ObjectIds;
    std::unique_ptr<GameState> Game;
    KeyboardState Keys;              // written by the key handlers, read by each update tick
    GameAudioOptions AudioSettings;  // set before Start
    GameAudio Audio;
    TurnRates CharacterTurnRates{};  // from the settings file, read at process start
    UpdateFn UpdateCallback = nullptr;
    TitleStep TitleState = TitleStep::ShowTitle;
    int32_t TitleStartTime = 0;
    int32_t OuterWidth = 800;  // the window's outer size, shown in the overlay
    int32_t OuterHeight = 600;
    SDL_Window* Window = nullptr;
    PauseMenu Menu;
    int32_t PausedAt = 0;                 // the clock when the menu opened
    PlayerSettings Settings;              // the player's, from settings.ini
    PlayerSettings AppliedSettings;       // what ApplySettings last put into effect
    PlayerFolders Folders;                // where the settings file and the saved games live
    LevelIdentity LevelId;                // of the level file played, checked by every load
    std::vector<LevelEntry> Levels;       // the adventure, from levels.txt
    std::vector<LevelIdentity> LevelIds;  // of each of Levels, for saved games
    size_t LevelIndex = 0;                // the level played (or, on its card, about to be)
    int32_t PlayStartedAt = -1;           // the clock play began in it; -1 on a picture or card
    std::vector<std::string> SlotLines;   // the save slots as the menu lists them
    std::string SingleLevel;              // --level: the one level played, no list; empty plays the list
    std::string LevelFolder;              // that level's folder, with its separator
    bool SkipTitle = false;               // --no-title: play starts at once
    StartPlace StartAt;                   // --at: where play starts instead of the level's start
    std::vector<std::string> RoomNames;   // of the level compiled from a source; empty for a .lev
    // --at resolved on the first level: CreateGameState starts there instead of at the level's start.
    bool HasStartOverride = false;
    PlacedStart StartOverride;
    float StartHeading = 0;
    std::string Notice;
    int32_t NoticeUntil = 0;
    std::string ReloadError;  // --watch: the source's fault, shown until a good save mends it

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
};

// Sound problems never stop the game; they are one line each on stderr.
void PrintWarnings(const std::vector<std::string>& warnings);

}  // namespace dv
