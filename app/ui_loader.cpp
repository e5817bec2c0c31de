// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui_loader.h"

#include <dlfcn.h>

#include <string>

#include "chip/running_program.h"
#include "texts/user_texts.h"

namespace tarvento {

WindowRun RunWindow(const UiRun& run) {
    const std::string exe = ProgramPath();
    const std::string folder = exe.substr(0, exe.find_last_of('/') + 1);
    const std::string path = folder + "../" TARVENTO_LIB_DIR "/" + kUiLibraryName;

    // The library stays loaded until the process ends: Qt does not survive unloading.
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        return {false, 1, CannotLoadWindowLibraryText(path, why)};
    }
    auto check = reinterpret_cast<TarventoUiWindowCheckFn>(dlsym(library, kUiWindowCheckSymbol));
    auto entry = reinterpret_cast<TarventoUiRunFn>(dlsym(library, kUiEntrySymbol));
    if (check == nullptr || entry == nullptr) {
        return {false, 1,
                NoEntryPointText(path, check == nullptr ? kUiWindowCheckSymbol : kUiEntrySymbol)};
    }
    char whyNot[1024];
    if (check(&run, whyNot, sizeof whyNot) == 0) return {false, 1, whyNot};
    return {true, entry(&run), {}};
}

}  // namespace tarvento
