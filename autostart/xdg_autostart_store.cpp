#include "autostart/xdg_autostart_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <random>
#include <string_view>

#include "autostart/desktop_entry.h"

namespace tarvento {

namespace {

constexpr mode_t kFolderMode = 0755;
constexpr mode_t kEntryMode = 0644;

bool WriteAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Reads at most `limit` bytes of a regular file. A FIFO or device in the entry's place
// is refused rather than read: it could block or never end.
std::optional<std::string> ReadRegularFile(int folderFd, const char* name, std::size_t limit) {
    const int fd = ::openat(folderFd, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    std::string data;
    char buffer[4096];
    while (ok && data.size() < limit) {
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, limit - data.size()));
        if (n == 0) break;
        if (n < 0) {
            ok = errno == EINTR;
            continue;
        }
        data.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (!ok) return std::nullopt;
    return data;
}

std::string TemporaryName() {
    static std::random_device device;
    char name[64];
    std::snprintf(name, sizeof name, ".%s.%08x.tmp", kDesktopEntryFileName,
                  static_cast<unsigned>(device()));
    return name;
}

// A write killed before its rename leaves its temporary file behind. Nobody reads it, but
// it should not stay: the next successful write takes such leftovers away.
bool IsLeftoverTemporary(std::string_view name) {
    // The names TemporaryName gives: ".<entry>.<8 hex digits>.tmp".
    const std::string prefix = std::string(".") + kDesktopEntryFileName + ".";
    constexpr std::string_view suffix = ".tmp";
    if (name.size() != prefix.size() + 8 + suffix.size() || !name.starts_with(prefix) ||
        !name.ends_with(suffix)) {
        return false;
    }
    const std::string_view tag = name.substr(prefix.size(), 8);
    return std::all_of(tag.begin(), tag.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

void RemoveLeftoverTemporaries(int folderFd) {
    const int fd = ::dup(folderFd);
    if (fd < 0) return;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return;
    }
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir)) {
        if (IsLeftoverTemporary(entry->d_name)) ::unlinkat(folderFd, entry->d_name, 0);
    }
    ::closedir(dir);
}

}  // namespace

XdgAutostartStore::XdgAutostartStore(std::string folder) : folder_(std::move(folder)) {}

XdgAutostartStore::~XdgAutostartStore() { CloseKey(); }

std::string XdgAutostartStore::AutostartFolderFromEnvironment() {
    std::string base = "/etc/xdg";
    if (const char* dirs = std::getenv("XDG_CONFIG_DIRS")) {
        std::string_view rest = dirs;
        while (!rest.empty()) {
            const std::size_t colon = rest.find(':');
            const std::string_view entry = rest.substr(0, colon);
            rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
            // Empty and relative entries are not valid base folders.
            if (entry.starts_with('/')) {
                base = entry;
                break;
            }
        }
    }
    while (base.size() > 1 && base.ends_with('/')) base.pop_back();
    if (base == "/") base.clear();
    return base + "/autostart";
}

bool XdgAutostartStore::OpenKey(const std::string& keyPath) {
    CloseKey();
    if (keyPath != kRunKeyPath || folder_.empty()) return false;
    const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) return false;
        open_ = true;  // no folder yet: a key with no value
        return true;
    }
    folderFd_ = fd;
    open_ = true;
    return true;
}

bool XdgAutostartStore::QueryValue(const std::string& valueName, std::string& text,
                                   std::size_t capacity) {
    if (!KeyIsOpen() || valueName != kRunValueName || folderFd_ < 0) return false;
    // Room for the largest entry of `capacity` bytes with all its escaping (four bytes
    // per byte in Exec, two in the entry key) and the fixed lines.
    constexpr std::size_t kFixedLines = 4096;
    const std::size_t limit = capacity > (SIZE_MAX - kFixedLines) / 8
                                  ? SIZE_MAX
                                  : 8 * capacity + kFixedLines;
    const std::optional<std::string> contents =
        ReadRegularFile(folderFd_, kDesktopEntryFileName, limit);
    if (!contents) return false;
    std::optional<std::string> entry = ParseDesktopEntry(*contents);
    if (!entry) return false;
    if (entry->size() > capacity) entry->resize(capacity);
    text = std::move(*entry);
    return true;
}

bool XdgAutostartStore::MakeFolder() {
    // Each missing level is made 0755 whatever the umask: the entry must be readable by
    // every user's session.
    std::size_t next = 0;
    while (next != std::string::npos) {
        next = folder_.find('/', next + 1);
        const std::string level = folder_.substr(0, next);
        if (level.empty()) continue;
        if (::mkdir(level.c_str(), kFolderMode) == 0) {
            if (::chmod(level.c_str(), kFolderMode) != 0) return false;
        } else if (errno != EEXIST) {
            return false;
        }
    }
    return true;
}

bool XdgAutostartStore::CreateKey(const std::string& keyPath) {
    CloseKey();
    if (keyPath != kRunKeyPath || folder_.empty()) return false;
    if (!MakeFolder()) return false;
    const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    folderFd_ = fd;
    open_ = true;
    writable_ = true;
    return true;
}

bool XdgAutostartStore::SetValue(const std::string& valueName, const std::string& text) {
    if (!KeyIsOpen() || !writable_ || valueName != kRunValueName) return false;
    const std::optional<std::string> contents = FormatDesktopEntry(text);
    if (!contents) return false;

    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = TemporaryName();
        fd = ::openat(folderFd_, temporary.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, kEntryMode);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;

    // The umask must not make the entry unreadable for the users' sessions.
    bool ok = ::fchmod(fd, kEntryMode) == 0 && WriteAll(fd, *contents) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::renameat(folderFd_, temporary.c_str(), folderFd_, kDesktopEntryFileName) == 0;
    if (!ok) {
        ::unlinkat(folderFd_, temporary.c_str(), 0);
        return false;
    }
    RemoveLeftoverTemporaries(folderFd_);
    // The rename is durable only once the folder itself is synced.
    return ::fsync(folderFd_) == 0;
}

bool XdgAutostartStore::DeleteValue(const std::string& valueName) {
    if (!KeyIsOpen() || !writable_ || valueName != kRunValueName) return false;
    if (::unlinkat(folderFd_, kDesktopEntryFileName, 0) != 0) return false;
    ::fsync(folderFd_);
    return true;
}

void XdgAutostartStore::CloseKey() {
    if (folderFd_ >= 0) ::close(folderFd_);
    folderFd_ = -1;
    open_ = false;
    writable_ = false;
}

}  // namespace tarvento
