#include "recognition/classic/GridConversion.h"

#include <cmath>
#include <cstddef>
#include <limits>
#include <new>
#include <utility>

#include "core/TickTime.h"
#include "recognition/classic/ScoreGrid.h"

namespace selvik {

namespace {

constexpr double kSecondsPerSample = 2.2675736961451248e-05;  // 1 / 44100
constexpr std::uint8_t kSpanVelocity = 100;

bool isNote(std::uint8_t slot) { return slot < 0x80; }

}  // namespace

void removeRepeatedNotes(std::uint8_t* grid, std::int32_t rows) {
    if (grid == nullptr || rows <= 0) {
        return;
    }
    for (std::size_t r = 0; r < static_cast<std::size_t>(rows); ++r) {
        std::uint8_t* row = grid + r * kSlotsPerRow;
        for (int j = 0; j < kSlotsPerRow; ++j) {
            if (!isNote(row[j])) {
                continue;
            }
            for (int k = j + 1; k < kSlotsPerRow; ++k) {
                if (row[k] == row[j]) {
                    row[k] = kEmptySlot;
                }
            }
        }
    }
}

std::uint32_t rowToTicks(std::int32_t row, std::int32_t blockSize, double tempo,
                         std::int32_t division) {
    // The product is formed in double so that long recordings cannot overflow it.
    return secondsToTicks((static_cast<double>(row) * static_cast<double>(blockSize)) * kSecondsPerSample,
                          tempo, division);
}

NoteSpans extractNoteSpans(std::uint8_t* grid, std::int32_t rows, std::int32_t blockSize,
                           double tempo, std::int32_t division) {
    NoteSpans result;
    const std::size_t rowCount = rows > 0 ? static_cast<std::size_t>(rows) : 0;
    // The span count is a 32-bit signed value, and twice it must still fit an
    // event count: refuse grids whose worst case would not.
    constexpr std::size_t kMaxSpans = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
    if (rowCount > kMaxSpans / kSlotsPerRow ||
        rowCount > std::numeric_limits<std::size_t>::max() / sizeof(NoteSpan) / kSlotsPerRow) {
        return result;
    }
    // One allocation of the worst case instead of growing the array.
    result.spans.reset(new (std::nothrow) NoteSpan[rowCount * kSlotsPerRow]);
    if (!result.spans) {
        return result;
    }
    result.ok = true;
    if (grid == nullptr) {
        return result;
    }

    std::size_t count = 0;
    for (std::size_t f = 0; f < rowCount; ++f) {
        const std::uint32_t start =
            rowToTicks(static_cast<std::int32_t>(f), blockSize, tempo, division);
        const std::uint8_t* row = grid + f * kSlotsPerRow;
        for (int j = 0; j < kSlotsPerRow; ++j) {
            const std::uint8_t note = row[j];
            if (!isNote(note)) {
                continue;
            }
            std::size_t k = f + 1;
            for (; k < rowCount; ++k) {
                std::uint8_t* next = grid + k * kSlotsPerRow;
                bool continued = false;
                for (int s = 0; s < kSlotsPerRow; ++s) {
                    if (next[s] == note) {
                        next[s] = kEmptySlot;
                        continued = true;
                    }
                }
                if (!continued) {
                    break;
                }
            }
            NoteSpan& span = result.spans[count++];
            span.note = note;
            span.velocity = kSpanVelocity;
            span.startTick = static_cast<std::int32_t>(start);
            span.endTick = static_cast<std::int32_t>(
                rowToTicks(static_cast<std::int32_t>(k), blockSize, tempo, division));
        }
    }
    result.count = static_cast<std::int32_t>(count);
    return result;
}

}  // namespace selvik
