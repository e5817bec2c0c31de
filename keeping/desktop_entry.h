// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvento {

// The desktop entry that stands for the autostart value: it starts the program with the
// entry's three fields at every login, and keeps the entry's text so that reading it
// back gives exactly what was written.
inline constexpr const char* kDesktopEntryFileName = "Tarvo.desktop";
inline constexpr const char* kEntryTextKey = "X-Tarvento-Entry";

// "<program path> <chip name> <memory MHz> <chip MHz>", split at its last three spaces
// (the path may hold spaces, the other fields never do).
struct AutostartFields {
    std::string_view programPath;
    std::string_view chipName;
    std::string_view memClock;
    std::string_view chipClock;
};
std::optional<AutostartFields> SplitAutostartEntry(std::string_view entry);

// True when a desktop entry can carry `text` unchanged: valid UTF-8 without control
// characters (a newline would end the line, and a key file is UTF-8 text).
bool DesktopEntryCanCarry(std::string_view text);

// One argument of an Exec line: double-quoted when it holds a reserved character, with
// " ` $ \ escaped inside the quotes; % written %%.
std::string ExecArgument(std::string_view argument);

// The string escaping of a key file value: \\ \n \t \r, and \s for a space at either end
// (readers trim white space around the value).
std::string EscapeDesktopString(std::string_view value);
// The reverse; nothing for an unknown escape or a lone backslash at the end.
std::optional<std::string> UnescapeDesktopString(std::string_view value);

// The whole file for an entry, or nothing when the entry is not four fields or holds
// text the format cannot carry.
std::optional<std::string> FormatDesktopEntry(std::string_view entry);

// The entry text kept in a desktop entry file, or nothing when the file has none or it
// is malformed.
std::optional<std::string> ParseDesktopEntry(std::string_view contents);

// The arguments of an Exec value whose string escapes are already removed, split as a
// launcher splits them: spaces separate, double quotes group (with \" \` \$ \\ inside),
// %% is a percent sign. Nothing for an unclosed quote or any other field code, which a
// launcher would expand into something this program cannot foresee.
std::optional<std::vector<std::string>> ExecArguments(std::string_view exec);

// What the desktop makes of an autostart file at login.
struct AutostartFile {
    bool hidden = false;  // Hidden=true: nothing starts, and same-named files below are masked
    // The Exec line's arguments joined by single spaces: the program's path and its
    // command-line tail as the program itself receives it. Nothing when there is no Exec
    // line or it cannot be read.
    std::optional<std::string> command;
    // The same arguments one by one; the first is the program the desktop starts.
    std::vector<std::string> arguments;
    // The keys that decide whether the desktop starts the entry at all.
    std::optional<std::string> tryExec;    // TryExec: a program that must be installed
    std::vector<std::string> onlyShowIn;   // the desktops it starts in (none: every one)
    std::vector<std::string> notShowIn;    // the desktops it does not start in
    bool gnomeDisabled = false;            // X-GNOME-Autostart-enabled=false
};
AutostartFile ReadAutostartFile(std::string_view contents);

// The file that keeps a machine-wide entry of the same name from starting at this
// user's login.
std::string FormatHiddenDesktopEntry();

}  // namespace tarvento
