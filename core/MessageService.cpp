#include "core/MessageService.h"

#include <utility>

namespace selvik {

namespace {

MessageHandler& processHandler() {
    static MessageHandler handler;
    return handler;
}

// The innermost scoped handler of this thread; null when there is none.
thread_local const MessageHandler* tScopedHandler = nullptr;

}  // namespace

void showMessage(std::string_view text) {
    const MessageHandler* handler = tScopedHandler != nullptr ? tScopedHandler : &processHandler();
    if (*handler) (*handler)(text);
}

MessageHandler setMessageHandler(MessageHandler handler) {
    return std::exchange(processHandler(), std::move(handler));
}

ScopedMessageHandler::ScopedMessageHandler(MessageHandler handler)
    : handler_(std::move(handler)), previous_(std::exchange(tScopedHandler, &handler_)) {}

ScopedMessageHandler::~ScopedMessageHandler() { tScopedHandler = previous_; }

}  // namespace selvik
