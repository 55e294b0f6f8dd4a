#include "cli/InputReport.h"

#include <utility>

#include "cli/TerminalProgress.h"

namespace selvik::cli {

InputReport::InputReport(std::string input, std::FILE* out, std::FILE* err, bool holdBack)
    : input_(std::move(input)), out_(out), err_(err), holdBack_(holdBack) {}

void InputReport::message(std::string_view text) {
    std::string line = input_;
    line += ": ";
    line += text;
    line += '\n';
    write(false, std::move(line));
}

void InputReport::table(std::string_view text) { write(true, std::string(text)); }

void InputReport::write(bool toOut, std::string text) {
    if (holdBack_) {
        held_.push_back(Piece{toOut, std::move(text)});
        return;
    }
    // A message must not land on the bar's line.
    if (!toOut && progress_ != nullptr) progress_->finish();
    std::FILE* stream = toOut ? out_ : err_;
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

void InputReport::flush() {
    for (const Piece& piece : held_) {
        std::FILE* stream = piece.toOut ? out_ : err_;
        std::fwrite(piece.text.data(), 1, piece.text.size(), stream);
        std::fflush(stream);
    }
    held_.clear();
}

}  // namespace selvik::cli
