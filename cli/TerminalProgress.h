#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/ProgressIndicator.h"

namespace selvik::cli {

// Seconds as minutes and seconds, "m:ss", for the playing lines.
std::string clockText(double seconds);

// A one-line progress bar on a terminal, one run of the bar per recognition
// pass: each setRange() starts the next pass. Redraws only when the shown
// percentage changes, so the cost per block stays negligible.
class TerminalProgress final : public ProgressIndicator {
public:
    // `stage` names what each run of the bar is ("pass", "step").
    TerminalProgress(std::FILE* terminal, std::string label, int passes, std::string stage = "pass");
    ~TerminalProgress() override;

    void setRange(std::int32_t minimum, std::int32_t maximum) override;
    void setPosition(std::int32_t position) override;

    // Erases the bar so that following messages start on a clean line.
    void finish();

private:
    void draw(int percent);

    std::FILE* terminal_;
    std::string label_;
    int passes_;
    std::string stage_;
    int pass_ = 0;
    std::int32_t minimum_ = 0;
    std::int32_t maximum_ = 0;
    int shownPercent_ = -1;
    bool drawn_ = false;
};

}  // namespace selvik::cli
