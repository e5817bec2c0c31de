#pragma once

#include <optional>
#include <string>
#include <string_view>

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

}  // namespace tarvento
