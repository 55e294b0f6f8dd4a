#include "signal/SignalStatus.h"

namespace selvik {

namespace {
// Indexed by the status code.
constexpr const char* kMessages[kSignalStatusCount] = {
    "No error", "Bad file format", "Signal has no data",
    "File error", "Out of memory", "Bad parameter",
};
}  // namespace

const char* statusMessage(SignalStatus status) {
    const auto code = static_cast<std::int32_t>(status);
    if (code < 0 || code >= kSignalStatusCount) return "";
    return kMessages[code];
}

}  // namespace selvik
