// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>

namespace tarvento::testing {

// The built program where another user can start it. Tests run from root may run it as
// nobody, who cannot pass through the folder the build sits in when that is a home folder
// (0700 on Debian, /root too); so the program and its libraries are copied, laid out as in
// the build (bin/ beside lib/tarvento/: the run path and the loading of the window library
// count on it), into a folder under the temporary folder that every user may enter. Made
// once per test program, on first use, and removed when it ends. A copy that cannot be
// made fails the test that asked for it.
std::filesystem::path StagedProgram();

// A copy, beside the staged program, of a file of the build or source tree that such a run
// reads (a preloaded library, the leak checker's suppressions).
std::filesystem::path StagedFile(const std::filesystem::path& file);

}  // namespace tarvento::testing
