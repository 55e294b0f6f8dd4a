#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace selvik::cli {

class TerminalProgress;

// Where the texts about one input go: its messages ("INPUT: TEXT" lines, to
// standard error) and its notes table (to standard output). Written at once,
// or held back and written by flush(), so that inputs converted side by side
// still print in the order of the inputs, each one's texts in the order they
// arose.
class InputReport {
public:
    InputReport(std::string input, std::FILE* out, std::FILE* err, bool holdBack);
    InputReport(const InputReport&) = delete;
    InputReport& operator=(const InputReport&) = delete;

    const std::string& input() const { return input_; }

    // One message about the input: "INPUT: TEXT" and a line end.
    void message(std::string_view text);
    // Text for standard output, as it is.
    void table(std::string_view text);
    // The progress bar to erase before a message is written at once; may be null.
    void setProgress(TerminalProgress* progress) { progress_ = progress; }
    // Writes the held-back texts in their order; nothing when none are held.
    void flush();

private:
    struct Piece {
        bool toOut;
        std::string text;
    };
    void write(bool toOut, std::string text);

    std::string input_;
    std::FILE* out_;
    std::FILE* err_;
    bool holdBack_;
    TerminalProgress* progress_ = nullptr;
    std::vector<Piece> held_;
};

}  // namespace selvik::cli
