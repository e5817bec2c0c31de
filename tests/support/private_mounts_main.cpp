// SPDX-License-Identifier: GPL-3.0-or-later
// tarvento-private-mounts COMMAND [ARGUMENT...]: runs COMMAND in a mount namespace of its
// own, for the tests and scripts that mount something over the machine's files for one
// run. Exits 77 (a skipped test, to CTest), saying why, when none can be made here.

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/support/private_mounts.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: tarvento-private-mounts COMMAND [ARGUMENT...]\n");
        return 2;
    }
    const std::string why = tarvento::testing::EnterPrivateMounts();
    if (!why.empty()) {
        std::fprintf(stderr, "tarvento-private-mounts: no private mount namespace here: %s\n", why.c_str());
        return 77;
    }
    ::execvp(argv[1], argv + 1);
    std::fprintf(stderr, "tarvento-private-mounts: cannot run %s: %s\n", argv[1], std::strerror(errno));
    return 127;
}
