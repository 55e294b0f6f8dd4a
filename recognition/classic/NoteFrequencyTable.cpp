#include "recognition/classic/NoteFrequencyTable.h"

#include <cmath>

namespace selvik {

const std::array<double, 128>& noteFrequencyTable() {
    static const std::array<double, 128> table = [] {
        std::array<double, 128> frequencies{};
        for (int n = 0; n < 128; ++n) {
            frequencies[static_cast<std::size_t>(n)] =
                440.0 * std::pow(2.0, static_cast<double>(n - 69) / 12.0);
        }
        return frequencies;
    }();
    return table;
}

std::int32_t nearestNote(double frequency) {
    // Written as a negated comparison so that NaN is rejected too.
    if (!(frequency > 1e-6)) return -1;
    const auto& table = noteFrequencyTable();
    double best = 100000.0;
    std::int32_t result = -1;
    for (std::int32_t n = 0; n < 128; ++n) {
        const double distance = std::fabs(std::log(table[static_cast<std::size_t>(n)] / frequency));
        if (distance < best) {
            best = distance;
            result = n;
        }
    }
    return result;
}

double lowestResolvableFrequency(std::int32_t sampleRate, std::int32_t blockSize,
                                 std::int32_t factor) {
    if (factor == 0 || blockSize == 0) return -1.0;
    const double width =
        static_cast<double>(sampleRate) / static_cast<double>(factor) / static_cast<double>(blockSize);
    const auto& table = noteFrequencyTable();
    for (std::size_t n = 0; n < 127; ++n) {
        if (table[n + 1] - table[n] > width) return table[n];
    }
    return -1.0;
}

}  // namespace selvik
