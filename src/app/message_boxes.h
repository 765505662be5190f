// The game's message boxes: the text goes to stderr and, unless headless, to an SDL message
// box. Only the application shows messages and ends the process; the library returns its
// failures or hands its messages to a MessageSink, which the shell points here.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "render/message_sink.h"

namespace dv {

class MessageBoxes {
public:
    // Receives every shown message as well (tests and logs).
    using Observer = std::function<void(const std::string& text, const std::string& caption)>;

    // Shows `text` with `caption` and waits for the user (a visible window only). Always
    // writes "caption: text" (just "text" without a caption) to stderr, and a non-empty
    // `reason` (what the system said) on the next line before the box waits.
    void Show(const std::string& text, const std::string& caption = "", MessageKind kind = MessageKind::Plain,
              const std::string& reason = "") const;
    // Shows the message (kind Error) and ends the process with exit status 1.
    [[noreturn]] void Fatal(const std::string& text, const std::string& caption, const std::string& reason = "") const;

    // Headless: stderr only. Not headless: a display was found, and boxes show even while
    // SDL's video is not running (a window that could not be created). Until this is called,
    // headless is assumed when SDL's video is not running or its driver is "offscreen" or
    // "dummy".
    void SetHeadless(bool headless) { mode_ = headless ? Mode::StderrOnly : Mode::Boxes; }
    void SetObserver(Observer observer) { observer_ = std::move(observer); }
    // A sink for the render layer that shows its messages here; this object must outlive it.
    MessageSink Sink() const;

private:
    enum class Mode { Guess, StderrOnly, Boxes };
    bool Headless() const;

    Mode mode_ = Mode::Guess;
    Observer observer_;
};

// Ends the process with `status` after flushing stdout and stderr. In a browser the page is
// told the status first: once the frame loop runs, exit() there halts the program without
// calling the page's exit handler.
[[noreturn]] void ExitProgram(int status);

}  // namespace dv
