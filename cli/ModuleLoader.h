#pragma once

#include <string>

namespace selvik::cli {

// Loads the module `name` (e.g. "selvik-convert-sound.so") from the
// program's module folder, ../lib/selvik beside the folder of the running
// program (in the build tree and once installed alike), and returns its entry
// point `entry`, or null with `error` saying why. A module is loaded once and
// stays for the life of the process.
void* loadModuleEntry(const std::string& name, const char* entry, std::string* error);

// The module's entry point cast to its type, called; null when it cannot be loaded.
template <typename Table, typename Entry>
const Table* loadModule(const std::string& name, const char* entry, std::string* error) {
    void* symbol = loadModuleEntry(name, entry, error);
    return symbol == nullptr ? nullptr : reinterpret_cast<Entry>(symbol)();
}

}  // namespace selvik::cli
