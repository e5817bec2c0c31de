// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/display_check.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QLibrary>
#include <QPluginLoader>
#include <QStringList>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/split_list.h"
#include "texts/user_texts.h"

namespace tarvento::ui {

namespace {

// The package that holds Qt's Wayland platform plugin, for the Qt this library uses.
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
constexpr const char* kWaylandPackage = "qt6-wayland";
#else
constexpr const char* kWaylandPackage = "qtwayland5";
#endif

// What every platform plugin says it implements, in Qt 5.15 and Qt 6 alike.
constexpr const char* kPlatformPluginIid =
    "org.qt-project.Qt.QPA.QPlatformIntegrationFactoryInterface.5.3";

bool NonEmpty(const char* value) { return value != nullptr && *value != '\0'; }

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The options Qt takes from the command line; the last of each counts, as in Qt.
struct QtOptions {
    std::optional<std::string> platform;
    std::optional<std::string> pluginPath;
    std::optional<std::string> display;
};

QtOptions ReadQtOptions(int argc, char** argv) {
    QtOptions options;
    for (int i = 1; argv != nullptr && i + 1 < argc; ++i) {
        const char* arg = argv[i];
        if (arg == nullptr || arg[0] != '-' || argv[i + 1] == nullptr) continue;
        if (arg[1] == '-') ++arg;
        if (std::strcmp(arg, "-platform") == 0) {
            options.platform = argv[++i];
        } else if (std::strcmp(arg, "-platformpluginpath") == 0) {
            options.pluginPath = argv[++i];
        } else if (std::strcmp(arg, "-display") == 0) {
            options.display = argv[++i];
        }
    }
    return options;
}

// Qt's list of platforms, tried in order until one loads (createPlatformIntegration of
// Qt 6.4 and Qt 5.15). The default of the Linux builds is xcb.
std::string QtPlatformList(const QtOptions& options) {
    if (options.platform) return *options.platform;
    if (const char* chosen = std::getenv("QT_QPA_PLATFORM"); NonEmpty(chosen)) return chosen;
    const char* session = std::getenv("XDG_SESSION_TYPE");
    const bool waylandSession = session != nullptr && std::strcmp(session, "wayland") == 0;
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 goes to Wayland first when the session says so or a Wayland display is named
    // at all (set, even empty), and to X next.
    if (waylandSession || std::getenv("WAYLAND_DISPLAY") != nullptr) return "wayland;xcb";
#else
    // Qt 5.15 believes the session type only, and not on GNOME, whose Wayland session it
    // leaves to XWayland.
    if (waylandSession) {
        const char* current = std::getenv("XDG_CURRENT_DESKTOP");
        const char* desktop = std::getenv("XDG_SESSION_DESKTOP");
        const std::string desktops = Lower(std::string(current ? current : "") + ":" +
                                           (desktop ? desktop : ""));
        if (desktops.find("gnome") == std::string::npos) return "wayland;xcb";
    }
#endif
    return "xcb";
}

// Where libwayland-client connects: WAYLAND_DISPLAY (wayland-0 when unset) in
// XDG_RUNTIME_DIR, or WAYLAND_DISPLAY itself when it is an absolute path. Empty when a
// compositor answers there, else why not.
std::string WaylandUnreachable() {
    // A connection the compositor handed over is Qt's to use, not ours to try.
    if (NonEmpty(std::getenv("WAYLAND_SOCKET"))) return {};
    const char* named = std::getenv("WAYLAND_DISPLAY");
    const std::string name = named ? named : "wayland-0";
    std::string path = name;
    if (name.empty() || name[0] != '/') {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (runtime == nullptr || runtime[0] != '/') {
            return WaylandWithoutRuntimeDirText(name);
        }
        path = std::string(runtime) + "/" + name;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return WaylandPathTooLongText(path);
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    // Not blocking: a compositor whose queue is full still answers.
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return NoWaylandSocketText(errno);
    const auto* to = reinterpret_cast<const sockaddr*>(&address);
    const bool answers =
        connect(fd, to, sizeof address) == 0 || errno == EAGAIN || errno == EINPROGRESS;
    const int error = errno;
    close(fd);
    if (answers) return {};
    return NoWaylandCompositorText(path, error);
}

// Empty when the X server Qt would use answers (its connection then in `held`), else why
// not.
std::string XUnreachable(const std::optional<std::string>& displayOption,
                         std::shared_ptr<void>& held) {
    const char* display = displayOption ? displayOption->c_str() : std::getenv("DISPLAY");
    if (!NonEmpty(display)) return kNoXServerNamed;
    xcb_connection_t* connection = xcb_connect(display, nullptr);
    if (xcb_connection_has_error(connection) == 0) {
        held.reset(connection, [](void* c) { xcb_disconnect(static_cast<xcb_connection_t*>(c)); });
        return {};
    }
    xcb_disconnect(connection);
    return XServerUnreachableText(display);
}

// The folders Qt searches for platform plugins, in its order: the platform plugin path
// (QT_QPA_PLATFORM_PLUGIN_PATH or -platformpluginpath) first, then "platforms" in every
// library path (QT_PLUGIN_PATH, Qt's own plugin folder) and beside the program. The
// platform plugin path comes first but hides nothing: Qt looks in the others after it.
QStringList PluginFolders(const QtOptions& options) {
    const QString own = options.pluginPath
                            ? QString::fromLocal8Bit(options.pluginPath->c_str())
                            : QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM_PLUGIN_PATH"));
    QStringList folders;
    if (!own.isEmpty()) folders << own << own + QStringLiteral("/platforms");
    // Asked before the application exists, Qt computes these again when it does.
    const QStringList libraryPaths = QCoreApplication::libraryPaths();
    for (const QString& path : libraryPaths) folders << path + QStringLiteral("/platforms");
    folders << QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath() +
                   QStringLiteral("/platforms");
    folders.removeDuplicates();
    return folders;
}

bool DeclaresPlatform(const QString& file, const QString& name) {
    const QJsonObject meta = QPluginLoader(file).metaData();
    if (meta.value(QStringLiteral("IID")).toString() != QLatin1String(kPlatformPluginIid)) {
        return false;
    }
    const QJsonArray keys =
        meta.value(QStringLiteral("MetaData")).toObject().value(QStringLiteral("Keys")).toArray();
    return std::any_of(keys.begin(), keys.end(), [&name](const QJsonValue& key) {
        return key.toString().compare(name, Qt::CaseInsensitive) == 0;
    });
}

// The plugin file that declares the platform `name`, as Qt finds it by the keys in the
// plugins' metadata; the usual file name (libqxcb.so; libqwayland-generic.so for
// wayland) is read first, so that other files are read only when it is not there.
QString FindPlatformPlugin(const QString& name, const QStringList& folders) {
    const QString usual = name == QLatin1String("wayland")
                              ? QStringLiteral("libqwayland-generic.so")
                              : QStringLiteral("libq") + name + QStringLiteral(".so");
    for (const QString& folder : folders) {
        const QDir dir(folder);
        QStringList files = dir.entryList(QDir::Files);
        if (files.isEmpty()) continue;
        if (files.removeAll(usual) > 0) files.prepend(usual);
        for (const QString& file : files) {
            if (!QLibrary::isLibrary(file)) continue;
            const QString path = dir.filePath(file);
            if (DeclaresPlatform(path, name)) return path;
        }
    }
    return {};
}

// Empty when the plugin of the platform `name` is installed and loads, else why not.
// Loading it now costs nothing extra: Qt loads the same file next, and keeps it.
std::string PluginMissing(const std::string& name, const QStringList& folders) {
    const QString qname = QString::fromStdString(name);
    const QString file = FindPlatformPlugin(qname, folders);
    if (file.isEmpty()) {
        if (name.rfind("wayland", 0) == 0) return WaylandPluginMissingText(kWaylandPackage);
        return PlatformPluginMissingText(name);
    }
    QPluginLoader loader(file);
    if (loader.load()) return {};
    return PlatformPluginUnloadableText(name, loader.errorString().toStdString());
}

}  // namespace

WindowSystemCheck CheckWindowSystem(int argc, char** argv) {
    const QtOptions options = ReadQtOptions(argc, argv);
    const std::string list = QtPlatformList(options);
    std::optional<QStringList> folders;  // listed once, and only when a plugin is looked for
    std::vector<std::string> reasons;
    std::shared_ptr<void> held;
    for (const std::string& entry : SplitList(list, ';')) {
        const std::vector<std::string> parts = SplitList(entry, ':');
        if (parts.empty()) continue;
        const std::string name = Lower(parts.front());
        // The server first: without one, the plugin would not help.
        std::string why;
        if (name.rfind("wayland", 0) == 0) {
            why = WaylandUnreachable();
        } else if (name == "xcb") {
            why = XUnreachable(options.display, held);
        }
        if (why.empty()) {
            if (!folders) folders = PluginFolders(options);
            why = PluginMissing(name, *folders);
        }
        // Qt takes the first that loads: it is given only this one, checked.
        if (why.empty()) return {entry, {}, held};
        held.reset();
        if (std::find(reasons.begin(), reasons.end(), why) == reasons.end()) reasons.push_back(why);
    }
    if (reasons.empty()) reasons.push_back(EmptyPlatformListText(list));
    std::string whyNot;
    for (const std::string& reason : reasons) whyNot += (whyNot.empty() ? "" : "; ") + reason;
    return {{}, whyNot, {}};
}

}  // namespace tarvento::ui
