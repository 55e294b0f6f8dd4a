#include "cli/Modules.h"

#include <mutex>
#include <string>

#include "cli/ModuleLoader.h"
#include "core/MessageService.h"

namespace selvik::cli {

namespace {

template <typename Table, typename Entry>
const Table* loadOnce(const char* file, const char* entry, const char* what) {
    static std::once_flag once;
    static const Table* table = nullptr;
    static std::string error;
    std::call_once(once, [&] { table = loadModule<Table, Entry>(file, entry, &error); });
    if (table == nullptr) showMessage(std::string("cannot ") + what + ": " + error);
    return table;
}

}  // namespace

const SoundModule* soundModule(const char* what) {
    return loadOnce<SoundModule, SoundModuleEntry>("selvik-convert-sound.so", kSoundModuleEntry, what);
}

const PlotModule* plotModule(const char* what) {
    return loadOnce<PlotModule, PlotModuleEntry>("selvik-convert-plot.so", kPlotModuleEntry, what);
}

}  // namespace selvik::cli
