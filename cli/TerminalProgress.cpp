#include "cli/TerminalProgress.h"

#include <algorithm>
#include <utility>

namespace selvik::cli {

std::string clockText(double seconds) {
    const auto whole = static_cast<long>(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

namespace {
constexpr int kBarWidth = 30;
}

TerminalProgress::TerminalProgress(std::FILE* terminal, std::string label, int passes, std::string stage)
    : terminal_(terminal), label_(std::move(label)), passes_(passes), stage_(std::move(stage)) {}

TerminalProgress::~TerminalProgress() { finish(); }

void TerminalProgress::setRange(std::int32_t minimum, std::int32_t maximum) {
    ++pass_;
    minimum_ = minimum;
    maximum_ = maximum;
    shownPercent_ = -1;
}

void TerminalProgress::setPosition(std::int32_t position) {
    const std::int64_t span = std::int64_t{maximum_} - minimum_;
    const std::int64_t done = std::int64_t{position} - minimum_;
    // The pass reports its last block as maximum; position 0 after the last
    // block only resets the bar, so it is not drawn.
    if (position == 0 && shownPercent_ >= 0) return;
    const int percent =
        span <= 0 ? 100 : static_cast<int>(std::clamp<std::int64_t>(done * 100 / span, 0, 100));
    if (percent != shownPercent_) draw(percent);
}

void TerminalProgress::draw(int percent) {
    shownPercent_ = percent;
    const int filled = percent * kBarWidth / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
    std::fprintf(terminal_, "\r%s: %s %d/%d [%s] %3d%%", label_.c_str(), stage_.c_str(), pass_,
                 std::max(passes_, pass_), bar.c_str(), percent);
    std::fflush(terminal_);
    drawn_ = true;
}

void TerminalProgress::finish() {
    if (!drawn_) return;
    std::fprintf(terminal_, "\r\033[K");
    std::fflush(terminal_);
    drawn_ = false;
}

}  // namespace selvik::cli
