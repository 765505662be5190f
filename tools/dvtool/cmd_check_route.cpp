// dvtool check-route SRC REPLAY: plays a level headless with a replay and says whether, and at
// which clock, the character reaches its exit. The game beside dvtool plays it, so the route
// runs through the very update step players get; this command only arranges the run and reads
// its trace.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "motion/collision.h"
#include "platform/player_folders.h"
#include "tools/dvtool/commands.h"
#include "tools/level/level_compiler.h"
#include "tools/level/source_build.h"
#include "world/level_file.h"
#include "world/source_compile.h"

extern char** environ;

namespace dvtool {

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage = "usage: dvtool check-route SRC REPLAY [--step-ms N] [--no-title]\n";
// How long the run goes on after the replay's last key: time for a character still running,
// falling or climbing to arrive.
constexpr long kAfterLastKeyMs = 30000;
constexpr long kDefaultStepMs = 40;  // the step our own routes are recorded at

// A folder of its own for the run's settings, cache and trace, removed afterwards.
class TempFolder {
public:
    TempFolder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp == '/' ? tmp : "/tmp") + "/dvtool-route-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

bool ParseStep(const char* text, long& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && errno == 0 && out >= 1 && out <= 1000;
}

// The clock of the replay's last event, read loosely: the game checks the script itself and
// refuses a malformed one with its FILE:LINE line.
long LastReplayClock(const std::string& path) {
    std::ifstream in(path);
    long last = 0;
    std::string line;
    while (std::getline(in, line)) {
        char* end = nullptr;
        errno = 0;
        const long clock = std::strtol(line.c_str(), &end, 10);
        if (end != line.c_str() && errno == 0 && clock > last) last = clock;
    }
    return last;
}

// Runs `argv` with its output in `logPath`; the exit status, or -1 when it could not run.
int RunProcess(const std::vector<std::string>& args, const std::string& logPath) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct LastTick {
    bool Found = false;
    int Clock = 0, Room = 0;
    float X = 0, Z = 0;
};

// The trace's last line: clock,action,clip,frame,room,x,y,z,...
LastTick ReadLastTick(const std::string& tracePath) {
    std::ifstream in(tracePath);
    std::string line, last;
    std::getline(in, line);  // the header
    while (std::getline(in, line))
        if (!line.empty()) last = line;
    LastTick t;
    int action = 0, clip = 0, frame = 0;
    float y = 0;
    t.Found = std::sscanf(last.c_str(), "%d,%d,%d,%d,%d,%f,%f,%f", &t.Clock, &action, &clip, &frame, &t.Room, &t.X, &y,
                          &t.Z) == 8;
    return t;
}

// The room as the author wrote it: its name in the source, else its number.
std::string RoomName(const std::vector<std::string>& names, int room) {
    if (room >= 0 && static_cast<size_t>(room) < names.size()) return names[static_cast<size_t>(room)];
    return std::to_string(room);
}

}  // namespace

int CheckRouteCommand(int argc, char** argv) {
    if (argc < 3) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string source = argv[1], replay = argv[2];
    long stepMs = kDefaultStepMs;
    bool noTitle = false;
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--no-title") {
            noTitle = true;
        } else if (arg == "--step-ms" && i + 1 < argc) {
            if (!ParseStep(argv[++i], stepMs)) {
                std::fprintf(stderr, "dvtool check-route: --step-ms '%s' is not a whole number from 1 to 1000\n",
                             argv[i]);
                return 2;
            }
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    std::error_code ec;
    for (const std::string& file : {source, replay}) {
        if (!fs::is_regular_file(file, ec)) {
            std::fprintf(stderr, "%s: cannot read it\n", file.c_str());
            return 2;
        }
    }
    const std::string game = ToolFolder() + "dedivirede";
    if (access(game.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "dvtool check-route: the game is not beside dvtool (%s)\n", game.c_str());
        return 2;
    }
    TempFolder temp;
    if (temp.Path().empty()) {
        std::fprintf(stderr, "dvtool check-route: cannot make a temporary folder: %s\n", std::strerror(errno));
        return 2;
    }
    // Settings of the run's own, not the author's: the same route plays the same everywhere.
    // A small window renders fast, and the trace does not depend on the window's size.
    const std::string config = temp.Path() + "/config";
    fs::create_directories(config, ec);
    std::ofstream(config + "/settings.ini") << "window_width = 400\nwindow_height = 320\n";

    const std::string level = fs::absolute(source).lexically_normal().string();
    const std::string trace = temp.Path() + "/trace.csv", log = temp.Path() + "/game.log";
    const long limit = LastReplayClock(replay) + kAfterLastKeyMs;
    std::vector<std::string> args = {game,
                                     "--headless",
                                     "--mute",
                                     "--config",
                                     config,
                                     "--level",
                                     level,
                                     "--replay",
                                     replay,
                                     "--step-ms",
                                     std::to_string(stepMs),
                                     "--trace",
                                     trace,
                                     "--quit-after",
                                     std::to_string(std::min<long>(limit, INT_MAX))};
    if (noTitle) args.push_back("--no-title");
    const int status = RunProcess(args, log);
    if (status != 0) {
        const std::string said = ReadText(log);
        std::fprintf(stderr, "%s", said.empty() ? "" : said.c_str());
        std::fprintf(stderr, "%s: the game could not play the route (status %d)\n", source.c_str(), status);
        return 2;
    }

    // The level as the game played it: the source's compile in the run's cache, or the level file.
    const std::string played =
        dv::IsLevelSource(level) ? dv::FindPlayerFolders(config).CacheDir + "/" + dv::CacheLevelName(level) : level;
    dv::LevelFileData data;
    std::vector<std::string> roomNames;
    try {
        dv::ParseLevelFile(played, data);
        if (dv::IsLevelSource(level))
            for (const dv::RoomDef& room : dv::ReadLevelSource(level).Rooms) roomNames.push_back(room.Name);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    const LastTick last = ReadLastTick(trace);
    if (!last.Found) {
        std::printf("%s: the exit is not reached: the run played no tick\n", source.c_str());
        return 1;
    }
    // The game ends the level on the tick whose cell is an exit, so that tick is the trace's
    // last; any other last tick is where the run stopped.
    const dv::LevelMap& map = data.Level.Map;
    const dv::GridCell* cell = dv::CellAt(map, last.Room, dv::WorldToCell(map, last.Room, last.X, last.Z));
    const std::string room = RoomName(roomNames, last.Room);
    if (cell != nullptr && cell->Exit != 0) {
        std::printf("%s: the exit is reached at clock %d ms, in room '%s'\n", source.c_str(), last.Clock, room.c_str());
        return 0;
    }
    float cellsX = 0, cellsZ = 0;
    if (last.Room >= 0 && static_cast<size_t>(last.Room) < map.Rooms.size()) {
        const dv::RoomHeader& h = map.Rooms[static_cast<size_t>(last.Room)].Header;
        cellsX = (last.X - h.Origin.x) / 32.0f;
        cellsZ = (last.Z - h.Origin.z) / 32.0f;
    }
    std::printf("%s: the exit is not reached; the run ended at clock %d ms at --at %s %.2f %.2f\n", source.c_str(),
                last.Clock, room.c_str(), cellsX, cellsZ);
    return 1;
}

}  // namespace dvtool
