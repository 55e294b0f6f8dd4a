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
// calling thread.
using MessageHandler = std::function<void(std::string_view text)>;

// Delivers the text to this thread's scoped handler if one is installed,
// otherwise to the process-wide handler.
void showMessage(std::string_view text);

// Installs the process-wide handler and returns the one it replaces. Used
// from the user-interface thread only.
MessageHandler setMessageHandler(MessageHandler handler);

// Installs a handler for the calling thread, for the lifetime of the object,
// then puts that thread's previous one back. Work running on several threads
// at once (one conversion per thread) thus keeps each thread's messages apart.
class ScopedMessageHandler {
public:
    explicit ScopedMessageHandler(MessageHandler handler);
    ~ScopedMessageHandler();
    ScopedMessageHandler(const ScopedMessageHandler&) = delete;
    ScopedMessageHandler& operator=(const ScopedMessageHandler&) = delete;

private:
    MessageHandler handler_;
    const MessageHandler* previous_;
};

}  // namespace selvik
