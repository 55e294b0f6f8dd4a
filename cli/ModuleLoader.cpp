#include "cli/ModuleLoader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

namespace selvik::cli {

namespace {

std::string programFolder() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    const std::string program(path, static_cast<std::size_t>(length));
    const std::size_t slash = program.rfind('/');
    return slash == std::string::npos ? "." : program.substr(0, slash);
}

}  // namespace

void* loadModuleEntry(const std::string& name, const char* entry, std::string* error) {
    const std::string path = programFolder() + "/../lib/selvik/" + name;
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        if (error != nullptr) {
            const char* why = dlerror();
            *error = "cannot load " + path + (why != nullptr ? std::string(": ") + why : std::string());
        }
        return nullptr;
    }
    void* symbol = dlsym(module, entry);
    if (symbol == nullptr && error != nullptr) *error = path + " has no " + entry;
    return symbol;
}

}  // namespace selvik::cli
