// SPDX-License-Identifier: GPL-3.0-or-later
#include "keeping/xdg_autostart_store.h"

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
#include <vector>

#include "keeping/desktop_entry.h"
#include "platform/folders.h"
#include "platform/small_file.h"
#include "platform/split_list.h"
#include "platform/xdg_folders.h"

namespace tarvento {

namespace {

// Folders the program makes for the user's configuration are the user's alone, as the
// base-directory rules ask.
constexpr mode_t kFolderMode = 0700;
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

// What lies at `name`: nothing (the desktop looks further), or a file that counts,
// which may still be unreadable.
struct EntryFile {
    bool present = false;
    std::optional<AutostartFile> file;  // nothing when it could not be read
};

EntryFile LookAt(int folderFd, const char* name, std::size_t limit) {
    EntryFile at;
    struct stat st {};
    if (::fstatat(folderFd, name, &st, 0) != 0) {
        // A dangling link or an unreachable folder hides nothing below it.
        at.present = errno != ENOENT && errno != ENOTDIR;
        if (!at.present) return at;
    } else {
        at.present = true;
    }
    // Read as the desktop reads it: through a link, but never a FIFO or a device.
    const std::optional<std::string> contents = ReadSmallFileAt(folderFd, name, limit, FollowLinks::Yes);
    if (contents) at.file = ReadAutostartFile(*contents);
    return at;
}

// A file the desktop could start: a regular file this user may execute.
bool IsProgramFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// Where the desktop finds the program a word names: an absolute path as it stands, a bare
// name in the first folder of the search path that holds it. Empty when neither; a
// relative path would depend on whatever folder the desktop starts programs in.
std::string FindProgram(const std::string& word, const std::string& searchPath) {
    if (word.empty()) return {};
    if (word.find('/') != std::string::npos) return word.starts_with('/') && IsProgramFile(word) ? word : "";
    for (const std::string& folder : SplitList(searchPath, ':')) {
        if (!folder.starts_with('/')) continue;
        const std::string candidate = folder + "/" + word;
        if (IsProgramFile(candidate)) return candidate;
    }
    return {};
}

std::string RealPath(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) return {};
    std::string result = real;
    std::free(real);
    return result;
}

bool Lists(const std::vector<std::string>& list, const std::string& name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

// The session's desktops are taken in order: the first one OnlyShowIn names shows the
// entry, the first one NotShowIn names keeps it back; when none is named, an entry with
// an OnlyShowIn list is kept back and any other shown.
bool ShownIn(const AutostartFile& file, const std::vector<std::string>& desktops) {
    for (const std::string& desktop : desktops) {
        if (Lists(file.onlyShowIn, desktop)) return true;
        if (Lists(file.notShowIn, desktop)) return false;
    }
    return file.onlyShowIn.empty();
}

std::string InactiveReason(const AutostartFile& file, const XdgAutostartStore::Session& session) {
    if (!ShownIn(file, session.desktops)) return "not shown in this desktop";
    // gnome-session honours this key; other desktops' launchers do not read it.
    if (file.gnomeDisabled && Lists(session.desktops, "GNOME")) return "disabled in this GNOME session";
    if (file.tryExec && FindProgram(*file.tryExec, session.searchPath).empty())
        return "its TryExec program " + *file.tryExec + " is not installed";
    return {};
}

EntryLaunch JudgeEntry(const AutostartFile& file, const XdgAutostartStore::Session& session) {
    EntryLaunch launch;
    if (!file.arguments.empty()) launch.word = file.arguments.front();
    const std::string found = FindProgram(launch.word, session.searchPath);
    if (!found.empty()) launch.program = RealPath(found);
    launch.inactiveReason = InactiveReason(file, session);
    return launch;
}

}  // namespace

XdgAutostartStore::Session XdgAutostartStore::SessionFromEnvironment() {
    Session session;
    if (const char* desktops = ::secure_getenv("XDG_CURRENT_DESKTOP"))
        session.desktops = SplitList(desktops, ':');
    const char* path = ::secure_getenv("PATH");
    // What a session started without PATH searches.
    session.searchPath = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    return session;
}

XdgAutostartStore::XdgAutostartStore(std::string folder, std::vector<std::string> machineFolders,
                                     std::optional<Session> session)
    : folder_(std::move(folder)),
      machineFolders_(std::move(machineFolders)),
      session_(session ? std::move(*session) : SessionFromEnvironment()) {}

XdgAutostartStore::~XdgAutostartStore() { Close(); }

std::string XdgAutostartStore::UserFolderFromEnvironment() {
    const std::optional<std::string> config = XdgHomeFolder(XdgBase::Config);
    return config ? *config + "/autostart" : std::string();
}

std::vector<std::string> XdgAutostartStore::MachineFoldersFromEnvironment() {
    std::vector<std::string> folders;
    for (const std::string& base : XdgConfigFolders()) folders.push_back(base + "/autostart");
    return folders;
}

bool XdgAutostartStore::OpenToRead() {
    Close();
    if (folder_.empty()) return false;
    const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) return false;
        open_ = true;  // no folder yet: a location with no entry of the user's own
        return true;
    }
    folderFd_ = fd;
    open_ = true;
    return true;
}

bool XdgAutostartStore::ReadEntry(std::string& text, std::size_t capacity) {
    entryFile_.clear();
    launch_.reset();
    if (!IsOpen()) return false;
    // Room for the largest entry of `capacity` bytes with all its escaping (four bytes
    // per byte in Exec, two in the entry key) and the fixed lines.
    constexpr std::size_t kFixedLines = 4096;
    const std::size_t limit = capacity > (SIZE_MAX - kFixedLines) / 8
                                  ? SIZE_MAX
                                  : 8 * capacity + kFixedLines;

    // The user's file masks the machine's of the same name, whatever it holds.
    EntryFile found;
    std::string where;
    if (folderFd_ >= 0) {
        found = LookAt(folderFd_, kDesktopEntryFileName, limit);
        where = folder_ + "/" + kDesktopEntryFileName;
    }
    for (std::size_t i = 0; !found.present && i < machineFolders_.size(); ++i) {
        where = machineFolders_[i] + "/" + kDesktopEntryFileName;
        found = LookAt(AT_FDCWD, where.c_str(), limit);
    }
    if (!found.present || !found.file || found.file->hidden || !found.file->command) return false;
    launch_ = JudgeEntry(*found.file, session_);
    std::string command = std::move(*found.file->command);
    if (command.size() > capacity) command.resize(capacity);
    text = std::move(command);
    entryFile_ = where;
    return true;
}

bool XdgAutostartStore::OpenToWrite() {
    Close();
    if (folder_.empty() || !folder_.starts_with('/'))
        return false;
    // Only the levels that are missing are made, each 0700; folders that exist keep theirs.
    if (MakeFolders(folder_, kFolderMode)) return false;
    const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    folderFd_ = fd;
    open_ = true;
    writable_ = true;
    return true;
}

bool XdgAutostartStore::StoreEntry(const std::string& text) {
    if (!IsOpen() || !writable_) return false;
    const std::optional<std::string> contents = FormatDesktopEntry(text);
    if (!contents) return false;
    return ReplaceEntryFile(*contents);
}

bool XdgAutostartStore::ReplaceEntryFile(const std::string& contents) {
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = TemporaryName();
        fd = ::openat(folderFd_, temporary.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, kEntryMode);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;

    // A fixed mode: the umask must not leave a file the desktop's tools treat oddly.
    bool ok = ::fchmod(fd, kEntryMode) == 0 && WriteAll(fd, contents) && ::fsync(fd) == 0;
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

bool XdgAutostartStore::MachineEntryWouldStart() const {
    for (const std::string& folder : machineFolders_) {
        const std::string path = folder + "/" + kDesktopEntryFileName;
        const EntryFile at = LookAt(AT_FDCWD, path.c_str(), 1 << 20);
        if (!at.present) continue;
        // What this user cannot read, this user's desktop cannot start either.
        return at.file && !at.file->hidden;
    }
    return false;
}

bool XdgAutostartStore::RemoveEntry() {
    if (!IsOpen() || !writable_) return false;
    // Removing the user's file would let the machine's start again: mask it instead.
    if (MachineEntryWouldStart()) return ReplaceEntryFile(FormatHiddenDesktopEntry());
    if (::unlinkat(folderFd_, kDesktopEntryFileName, 0) != 0) return errno == ENOENT;
    ::fsync(folderFd_);
    return true;
}

void XdgAutostartStore::Close() {
    if (folderFd_ >= 0) ::close(folderFd_);
    folderFd_ = -1;
    open_ = false;
    writable_ = false;
}

}  // namespace tarvento
