// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/durable_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

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

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

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

bool RemoveFileDurably(const std::string& path, std::string& error) {
    if (::unlink(path.c_str()) != 0) {
        if (errno == ENOENT) return true;
        error = FileErrorText(FileStep::Remove, path, errno);
        return false;
    }
    SyncFolder(FolderOf(path));
    return true;
}

bool MakeFolders(const std::string& path, mode_t mode, std::string& error) {
    if (path.empty() || path[0] != '/') {
        error = FileErrorText(FileStep::NotAbsolute, path);
        return false;
    }
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/') continue;
        const std::string part = path.substr(0, at);
        if (::mkdir(part.c_str(), mode) != 0 && errno != EEXIST) {
            error = FileErrorText(FileStep::MakeFolder, part, errno);
            return false;
        }
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = FileErrorText(FileStep::NotAFolder, path);
        return false;
    }
    return true;
}

std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return std::nullopt;
    std::string data;
    char buffer[1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || data.size() + static_cast<std::size_t>(n) > limit) {
            ::close(fd);
            if (n == 0) return data;
            return std::nullopt;
        }
        data.append(buffer, static_cast<std::size_t>(n));
    }
}

}  // namespace tarvento
