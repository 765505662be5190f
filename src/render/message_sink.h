// The render layer's one way to tell the player something while it carries on (a texture or
// a vertex buffer that could not be made, a device reset that falls back): it hands the text
// of a message box to the sink the application installed. Without a sink the text goes to
// stderr only. Failures the caller must act on are returned instead (docs/architecture.md).
#pragma once

#include <functional>
#include <string>

namespace dv {

enum class MessageKind { Plain, Warning, Error };

using MessageSink = std::function<void(const std::string& text, const std::string& caption, MessageKind kind)>;

// Hands the message to `sink`, or writes "caption: text" (just "text" without a caption) to
// stderr when there is none.
void Tell(const MessageSink& sink, const std::string& text, const std::string& caption = "",
          MessageKind kind = MessageKind::Plain);

}  // namespace dv
