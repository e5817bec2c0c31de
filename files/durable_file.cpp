// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/durable_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

#include "platform/folders.h"
#include "texts/user_texts.h"

namespace tarvento {

namespace {

bool SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

bool WriteFileDurably(const std::string& path, const std::string& contents, mode_t mode,
                      std::string& error) {
    static std::random_device device;
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = path + "." + std::to_string(device()) + ".tmp";
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd < 0 && errno != EEXIST) {
            error = FileErrorText(FileStep::CreateBeside, path, errno);
            return false;
        }
    }
    if (fd < 0) {
        error = FileErrorText(FileStep::CreateBeside, path);
        return false;
    }
    bool ok = ::fchmod(fd, mode) == 0;
    for (std::size_t done = 0; ok && done < contents.size();) {
        const ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<std::size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    if (!ok) error = FileErrorText(FileStep::Write, temporary, errno);
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = FileErrorText(FileStep::Write, temporary, errno);
    }
    if (ok && ::rename(temporary.c_str(), path.c_str()) != 0) {
        ok = false;
        error = FileErrorText(FileStep::Replace, path, errno);
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    if (!SyncFolder(FolderOf(path))) {
        error = FileErrorText(FileStep::SyncFolder, path, errno);
        return false;
    }
    return true;
}

bool WriteFileDurably(const std::string& path, const std::string& contents, mode_t mode,
                      std::string& error, mode_t folderMode) {
    if (const std::optional<FolderFailure> folder = MakeFolders(FolderOf(path), folderMode)) {
        error = FolderFailureText(*folder);
        return false;
    }
    return WriteFileDurably(path, contents, mode, error);
}

bool RemoveFileDurably(const std::string& path, std::string& error) {
    if (::unlink(path.c_str()) != 0) {
        if (errno == ENOENT) return true;
        error = FileErrorText(FileStep::Remove, path, errno);
        return false;
    }
    SyncFolder(FolderOf(path));
    return true;
}

}  // namespace tarvento
