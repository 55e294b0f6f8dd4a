#include <array>

#include "recognition/RecognitionMethod.h"
#include "recognition/classic/ClassicMethod.h"
#include "recognition/melody/MelodyTracker.h"
#include "recognition/poly/PolyMethod.h"

namespace selvik {

namespace {

// One line per method, in the order of the window's Method list.
constexpr std::array<const MethodDescriptor*, 3> kMethods = {
    &kClassicMethod,
    &kMelodyMethod,
    &kPolyMethod,
};

}  // namespace

std::span<const MethodDescriptor* const> recognitionMethods() { return kMethods; }

const MethodDescriptor* findMethod(std::string_view name) {
    for (const MethodDescriptor* method : kMethods) {
        if (method->name == name) return method;
    }
    return nullptr;
}

}  // namespace selvik
