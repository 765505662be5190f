#include "render/message_sink.h"

#include <cstdio>

namespace dv {

void Tell(const MessageSink& sink, const std::string& text, const std::string& caption, MessageKind kind) {
    if (sink) {
        sink(text, caption, kind);
        return;
    }
    if (caption.empty()) std::fprintf(stderr, "%s\n", text.c_str());
    else std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

}  // namespace dv
