#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace selvik {

// Every user-facing message of the processing code goes through showMessage.
// The front end installs a handler: the desktop program shows a modal box and
// returns when the user closes it, the converter prints to standard error, and
// tests record the texts in order. Without a handler the text is dropped.
//
// Texts are passed exactly as the caller gives them. The handler runs on the
// calling thread; callers use it from the user-interface thread only.
using MessageHandler = std::function<void(std::string_view text)>;

void showMessage(std::string_view text);

// Installs a handler and returns the one it replaces.
MessageHandler setMessageHandler(MessageHandler handler);

// Installs a handler for the lifetime of the object, then puts the previous one back.
class ScopedMessageHandler {
public:
    explicit ScopedMessageHandler(MessageHandler handler);
    ~ScopedMessageHandler();
    ScopedMessageHandler(const ScopedMessageHandler&) = delete;
    ScopedMessageHandler& operator=(const ScopedMessageHandler&) = delete;

private:
    MessageHandler previous_;
};

}  // namespace selvik
