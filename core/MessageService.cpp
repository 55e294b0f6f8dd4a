#include "core/MessageService.h"

#include <utility>

namespace selvik {

namespace {
MessageHandler& currentHandler() {
    static MessageHandler handler;
    return handler;
}
}  // namespace

void showMessage(std::string_view text) {
    if (auto& handler = currentHandler()) handler(text);
}

MessageHandler setMessageHandler(MessageHandler handler) {
    return std::exchange(currentHandler(), std::move(handler));
}

ScopedMessageHandler::ScopedMessageHandler(MessageHandler handler)
    : previous_(setMessageHandler(std::move(handler))) {}

ScopedMessageHandler::~ScopedMessageHandler() { setMessageHandler(std::move(previous_)); }

}  // namespace selvik
