#include "core/MessageService.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace selvik {
namespace {

TEST(MessageService, DeliversTextsInCallOrderToTheInstalledHandler) {
    std::vector<std::string> seen;
    ScopedMessageHandler scope([&](std::string_view text) { seen.emplace_back(text); });
    showMessage("Bad file format");
    showMessage("For better results use signals with more than 4096 samples.");
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "Bad file format",
                        "For better results use signals with more than 4096 samples."}));
}

TEST(MessageService, DropsTextsWhenNoHandlerIsInstalled) {
    const MessageHandler previous = setMessageHandler(nullptr);
    showMessage("nobody listens");  // must neither crash nor throw
    setMessageHandler(previous);
}

TEST(MessageService, ScopedHandlerPutsThePreviousHandlerBack) {
    std::vector<std::string> outer;
    ScopedMessageHandler outerScope([&](std::string_view text) { outer.emplace_back(text); });
    {
        std::vector<std::string> inner;
        ScopedMessageHandler innerScope([&](std::string_view text) { inner.emplace_back(text); });
        showMessage("inner");
        EXPECT_EQ(inner, std::vector<std::string>{"inner"});
    }
    showMessage("outer");
    EXPECT_EQ(outer, std::vector<std::string>{"outer"});
}

TEST(MessageService, AScopedHandlerHearsOnlyTheThreadThatInstalledIt) {
    // Conversions running side by side each keep their own messages.
    std::vector<std::string> mine;
    std::vector<std::string> theirs;
    ScopedMessageHandler scope([&](std::string_view text) { mine.emplace_back(text); });
    std::thread other([&] {
        ScopedMessageHandler own([&](std::string_view text) { theirs.emplace_back(text); });
        showMessage("from the other thread");
    });
    other.join();
    showMessage("from this thread");
    EXPECT_EQ(mine, std::vector<std::string>{"from this thread"});
    EXPECT_EQ(theirs, std::vector<std::string>{"from the other thread"});
}

TEST(MessageService, AThreadWithoutAScopedHandlerReachesTheProcessHandler) {
    std::vector<std::string> seen;
    const MessageHandler previous = setMessageHandler([&](std::string_view text) { seen.emplace_back(text); });
    std::thread other([] { showMessage("Bad file format"); });
    other.join();
    setMessageHandler(previous);
    EXPECT_EQ(seen, std::vector<std::string>{"Bad file format"});
}

}  // namespace
}  // namespace selvik
