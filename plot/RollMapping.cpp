#include "plot/RollMapping.h"

#include <algorithm>
#include <cmath>

namespace selvik {

NoteRange notesInTime(const std::vector<RollNote>& notes, double longestSeconds, double startSeconds,
                      double endSeconds) {
    // A note that starts earlier than the longest note's length before the
    // view has ended before it.
    auto startsBefore = [](const RollNote& note, double at) { return note.startSeconds < at; };
    const auto first = std::lower_bound(notes.begin(), notes.end(), startSeconds - longestSeconds, startsBefore);
    const auto last = std::upper_bound(first, notes.end(), endSeconds,
                                       [](double at, const RollNote& note) { return at < note.startSeconds; });
    return {static_cast<std::size_t>(first - notes.begin()), static_cast<std::size_t>(last - notes.begin())};
}

std::optional<std::size_t> noteAt(const std::vector<RollNote>& notes, double longestSeconds,
                                  const RollMapping& mapping, double x, double y) {
    if (!mapping.plot().contains(x, y)) return std::nullopt;
    const double seconds = mapping.secondsOfX(x);
    const auto number = static_cast<std::int32_t>(std::floor(mapping.pitchOfY(y) + 0.5));
    // A bar is at least a pixel wide when drawn, so it is found at that width too.
    const double slack = 0.5 / mapping.pixelsPerSecond();
    const NoteRange range = notesInTime(notes, longestSeconds, seconds - slack, seconds + slack);
    for (std::size_t i = range.first; i < range.last; ++i) {
        const RollNote& note = notes[i];
        if (note.number == number && seconds >= note.startSeconds - slack && seconds <= note.endSeconds + slack) {
            return i;
        }
    }
    return std::nullopt;
}

}  // namespace selvik
