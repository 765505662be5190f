// Message boxes: the text goes to stderr and, unless headless, to an SDL message box.
#pragma once

#include <string>

namespace dv {

enum class MessageKind { Plain, Warning, Error };

// Shows `text` with `caption` and waits for the user (a visible window only). Always writes
// "caption: text" to stderr, and a non-empty `reason` (what the system said) on the next line
// before the box waits. A sink installed with SetMessageSink receives the text as well.
void ShowMessage(const std::string& text, const std::string& caption = "",
                 MessageKind kind = MessageKind::Plain, const std::string& reason = "");

// Headless: stderr only. Not headless: a display was found, and boxes show even while SDL's
// video is not running (a window that could not be created). Until this is called, headless
// is assumed when SDL's video is not running or its driver is "offscreen" or "dummy".
void SetMessagesHeadless(bool headless);

// Test and log hook; `sink` null removes it.
using MessageSink = void (*)(void* user, const std::string& text, const std::string& caption);
void SetMessageSink(MessageSink sink, void* user);

// Shows the message (kind Error, `reason` as ShowMessage writes it) and ends the process
// with exit status 1.
[[noreturn]] void FatalError(const std::string& text, const std::string& caption, const std::string& reason = "");

}  // namespace dv
