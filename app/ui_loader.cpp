// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui_loader.h"

#include <dlfcn.h>

#include <string>

#include "autostart/autostart_entry.h"
#include "chip/running_program.h"

namespace tarvento {

int RunWindow(const UiRun& run, std::ostream& err) {
    const std::string exe = ProgramPath();
    const std::string folder = exe.substr(0, exe.find_last_of('/') + 1);
    const std::string path = folder + "../" TARVENTO_LIB_DIR "/" + kUiLibraryName;

    // The library stays loaded until the process ends: Qt does not survive unloading.
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        err << DiagnosticPrefix() << "cannot load the window library " << path << ": "
            << (why ? why : "unknown error") << "\n";
        return 1;
    }
    auto entry = reinterpret_cast<TarventoUiRunFn>(dlsym(library, kUiEntrySymbol));
    if (entry == nullptr) {
        err << DiagnosticPrefix() << "the window library " << path << " has no entry point "
            << kUiEntrySymbol << "\n";
        return 1;
    }
    return entry(&run);
}

}  // namespace tarvento
