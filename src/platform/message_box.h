// Message boxes: the text goes to stderr and, unless headless, to an SDL message box.
#pragma once

#include <string>

namespace dv {

enum class MessageKind { Plain, Warning, Error };

// Shows `text` with `caption` and waits for the user (a visible window only). Always writes
// "caption: text" to stderr. A sink installed with SetMessageSink receives it as well.
void ShowMessage(const std::string& text, const std::string& caption = "",
                 MessageKind kind = MessageKind::Plain);

// Headless: stderr only. Also implied when SDL's video driver is "offscreen" or "dummy".
void SetMessagesHeadless(bool headless);

// Test and log hook; `sink` null removes it.
using MessageSink = void (*)(void* user, const std::string& text, const std::string& caption);
void SetMessageSink(MessageSink sink, void* user);

// Shows the message (kind Error) and ends the process with exit status 1.
[[noreturn]] void FatalError(const std::string& text, const std::string& caption);

}  // namespace dv
