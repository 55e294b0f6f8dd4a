#include "signal/Window.h"

#include <cmath>
#include <string>

#include "core/MessageService.h"

namespace selvik {

void makeWindow(Signal& window, std::int32_t type, std::int32_t n) {
    if (n < 2) return;
    const SignalStatus status = window.create(n);
    if (status != SignalStatus::NoError) {
        showMessage(std::string("Can't create window: ") + statusMessage(status));
        window.clear();
        return;
    }
    const double d = 1.0 / (n - 1);
    for (std::int32_t i = 0; i < n; ++i) {
        const double x = i * d - 0.5;
        double w = 0.0;
        switch (type) {
            case Gaussian:
                w = std::exp(-18.0 * (x * x));
                break;
            case Hanning:
                // glibc's pow with exponent 2 is the exact product c * c.
                w = std::pow(std::cos(3.14159265359 * x), 2.0);
                break;
            case Blackman:
                w = 0.42 + 0.5 * std::cos(6.28318530718 * x) + 0.08 * std::cos(12.56637061436 * x);
                break;
            default:
                // Unknown kinds leave the zeros create() wrote.
                continue;
        }
        window.sampleAt(i) = static_cast<float>(w);
    }
}

}  // namespace selvik
