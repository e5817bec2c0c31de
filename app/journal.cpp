// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/journal.h"

#include <sys/stat.h>
#include <syslog.h>

#include <cstdio>
#include <cstdlib>

namespace tarvento {

void TellJournal(const std::string& text) {
    // JOURNAL_STREAM holds "device:inode" of the journal's stream when standard error
    // was connected to it.
    if (const char* stream = std::getenv("JOURNAL_STREAM")) {
        struct stat st {};
        unsigned long long device = 0, inode = 0;
        if (std::sscanf(stream, "%llu:%llu", &device, &inode) == 2 && ::fstat(2, &st) == 0 &&
            st.st_dev == device && st.st_ino == inode) {
            return;
        }
    }
    ::openlog("tarvento", LOG_PID, LOG_USER);
    ::syslog(LOG_WARNING, "%s", text.c_str());
    ::closelog();
}

}  // namespace tarvento
