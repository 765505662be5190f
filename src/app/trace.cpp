#include "app/trace.h"

#include <cerrno>
#include <cstring>

#include "app/game.h"
#include "app/shell.h"
#include "math/clock.h"

namespace dv {

bool OpenTrace(Shell& shell, const std::string& path, std::string& error) {
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        error = path + ": cannot create the trace file";
        return false;
    }
    // Line by line, so the trace up to a crash survives it and a watcher can follow it live.
    std::setvbuf(file, nullptr, _IOLBF, 0);
    std::fputs("clock,action,clip,frame,room,x,y,z,angle_y,cam_mode,eye_x,eye_y,eye_z\n", file);
    shell.Game->Trace.reset(file);
    return true;
}

void WriteTraceLine(FILE* trace, const GameState& g) {
    const BodyPose& m = g.Body.Movement;
    const FollowCamera& cam = *g.Follow;
    std::fprintf(trace, "%d,%d,%d,%d,%d,%.3f,%.3f,%.3f,%.3f,%d,%.3f,%.3f,%.3f\n", ClockMs(), g.Body.Action,
                 g.CharacterModel.CurrentClipId(), g.CharacterModel.Playback().Frame, g.Body.Room, m.Position.x,
                 m.Position.y, m.Position.z, m.AngleY, static_cast<int>(cam.Mode()), cam.Eye().x, cam.Eye().y,
                 cam.Eye().z);
}

bool CloseTrace(GameState& game, const std::string& path, std::string& error) {
    FILE* file = game.Trace.release();
    if (file == nullptr) return true;
    errno = 0;
    const bool written = std::fflush(file) == 0 && std::ferror(file) == 0;
    const int code = errno;
    const bool closed = std::fclose(file) == 0;
    if (written && closed) return true;
    // A line that failed earlier left only the stream's error flag, not its reason.
    const int reason = code != 0 ? code : errno;
    error = path + ": cannot write the trace file" + (reason != 0 ? std::string(": ") + std::strerror(reason) : "");
    return false;
}

}  // namespace dv
