// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace tarvento {

// Whether a link in the file's place is read through. The program's own files and sysfs
// are read without (a link there is somebody else's redirection); an autostart entry is
// read as the desktop reads it, which follows a link.
enum class FollowLinks { No, Yes };

// Why a small file gave nothing, as facts.
struct SmallFileFailure {
    enum class Kind {
        Missing,         // nothing by that name
        Link,            // a symbolic link, which is not followed
        NotRegularFile,  // a FIFO, a device, a folder...
        TooLarge,        // larger than the limit
        Unreadable       // error: errno of the open or read
    };
    Kind kind = Kind::Missing;
    int error = 0;
};

// The whole of a small text file: a regular file only, never more than `limit` bytes.
// Nothing when it cannot be opened or read, when something else stands in its place (a
// FIFO or a device is refused at once, never waited for), or when it is larger than
// `limit`; `why`, when given, says which. `folderFd` is an open folder the name is taken in
// (AT_FDCWD: as a path).
std::optional<std::string> ReadSmallFileAt(int folderFd, const std::string& name, std::size_t limit,
                                           FollowLinks links = FollowLinks::No,
                                           SmallFileFailure* why = nullptr);
std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit = 4096,
                                         SmallFileFailure* why = nullptr);

}  // namespace tarvento
