// SPDX-License-Identifier: GPL-3.0-or-later
#include "keeping/desktop_entry.h"

#include <cstdint>

namespace tarvento {

namespace {

// Characters that oblige an Exec argument to be quoted.
constexpr std::string_view kExecReserved = " \t\n\"'\\><~|&;$*?#()`";
// Characters escaped with a backslash inside a quoted Exec argument.
constexpr std::string_view kExecQuotedEscapes = "\"`$\\";

// Length of the UTF-8 sequence starting at `s[i]`, or 0 when it is malformed
// (overlong, a surrogate, beyond U+10FFFF, cut short).
std::size_t Utf8SequenceLength(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<uint8_t>(s[k]); };
    const uint8_t lead = byte(i);
    std::size_t length = 0;
    uint32_t code = 0;
    uint32_t minimum = 0;
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, code = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, code = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, code = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > s.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    // C1 control characters (U+0080..U+009F).
    if (code <= 0x9F) return 0;
    return length;
}

}  // namespace

std::optional<AutostartFields> SplitAutostartEntry(std::string_view entry) {
    std::string_view rest = entry;
    std::string_view tail[3];
    for (int field = 2; field >= 0; --field) {
        const std::size_t space = rest.rfind(' ');
        if (space == std::string_view::npos) return std::nullopt;
        tail[field] = rest.substr(space + 1);
        if (tail[field].empty()) return std::nullopt;
        rest = rest.substr(0, space);
    }
    if (rest.empty()) return std::nullopt;
    return AutostartFields{rest, tail[0], tail[1], tail[2]};
}

bool DesktopEntryCanCarry(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<uint8_t>(text[i]);
        if (c < 0x20 || c == 0x7F) return false;
        const std::size_t length = Utf8SequenceLength(text, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::string ExecArgument(std::string_view argument) {
    const bool quoted =
        argument.empty() || argument.find_first_of(kExecReserved) != std::string_view::npos;
    std::string out;
    if (quoted) out += '"';
    for (const char c : argument) {
        if (c == '%') {
            out += "%%";
            continue;
        }
        if (quoted && kExecQuotedEscapes.find(c) != std::string_view::npos) out += '\\';
        out += c;
    }
    if (quoted) out += '"';
    return out;
}

std::string EscapeDesktopString(std::string_view value) {
    const std::size_t first = value.find_first_not_of(' ');
    const std::size_t last = value.find_last_not_of(' ');
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        switch (value[i]) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case ' ':
            out += (first == std::string_view::npos || i < first || i > last) ? "\\s" : " ";
            break;
        default: out += value[i];
        }
    }
    return out;
}

std::optional<std::string> UnescapeDesktopString(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            out += value[i];
            continue;
        }
        if (++i == value.size()) return std::nullopt;
        switch (value[i]) {
        case 's': out += ' '; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case '\\': out += '\\'; break;
        default: return std::nullopt;
        }
    }
    return out;
}

std::optional<std::string> FormatDesktopEntry(std::string_view entry) {
    if (!DesktopEntryCanCarry(entry)) return std::nullopt;
    const std::optional<AutostartFields> fields = SplitAutostartEntry(entry);
    if (!fields) return std::nullopt;
    const std::string exec = ExecArgument(fields->programPath) + ' ' +
                             ExecArgument(fields->chipName) + ' ' +
                             ExecArgument(fields->memClock) + ' ' +
                             ExecArgument(fields->chipClock);
    std::string file =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Tarvento\n"
        "Comment=Applies the chosen graphics clocks at login\n"
        "Icon=tarvento\n";
    file += "Exec=" + EscapeDesktopString(exec) + "\n";
    file += "Terminal=false\n";
    file += std::string(kEntryTextKey) + "=" + EscapeDesktopString(entry) + "\n";
    return file;
}

namespace {

// Calls `take(key, raw value)` for every key of the [Desktop Entry] group, in file order.
template <typename Take>
void ForEachEntryKey(std::string_view contents, Take take) {
    constexpr std::string_view kGroup = "[Desktop Entry]";
    bool inGroup = false;
    while (!contents.empty()) {
        const std::size_t end = contents.find('\n');
        const std::string_view line = contents.substr(0, end);
        contents = end == std::string_view::npos ? std::string_view{} : contents.substr(end + 1);

        if (line.starts_with('[')) {
            inGroup = line == kGroup;
            continue;
        }
        if (!inGroup || line.starts_with('#')) continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        std::string_view key = line.substr(0, equals);
        while (key.ends_with(' ')) key.remove_suffix(1);
        std::string_view value = line.substr(equals + 1);
        while (value.starts_with(' ')) value.remove_prefix(1);
        if (!take(key, value)) return;
    }
}

}  // namespace

std::optional<std::string> ParseDesktopEntry(std::string_view contents) {
    std::optional<std::string> entry;
    ForEachEntryKey(contents, [&](std::string_view key, std::string_view value) {
        if (key != kEntryTextKey) return true;
        entry = UnescapeDesktopString(value);
        return false;  // the first one counts
    });
    return entry;
}

std::optional<std::vector<std::string>> ExecArguments(std::string_view exec) {
    std::vector<std::string> args;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (c == '%') {
            if (i + 1 >= exec.size() || exec[i + 1] != '%') return std::nullopt;
            word += '%';
            inWord = true;
            ++i;
        } else if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\' && i + 1 < exec.size() &&
                       kExecQuotedEscapes.find(exec[i + 1]) != std::string_view::npos) {
                word += exec[++i];
            } else {
                word += c;
            }
        } else if (c == ' ') {
            if (inWord) args.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else if (c == '"') {
            quoted = true;
            inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted) return std::nullopt;
    if (inWord) args.push_back(std::move(word));
    return args;
}

namespace {

std::string_view WithoutTrailingSpaces(std::string_view v) {
    while (v.ends_with(' ')) v.remove_suffix(1);
    return v;
}

// A list value ("KDE;LXQt;"): items end at each semicolon that no backslash escapes;
// empty items are no items.
std::vector<std::string> ListValue(std::string_view value) {
    std::vector<std::string> items;
    std::string item;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == ';') {
            item += value[++i];
        } else if (value[i] == ';') {
            if (!item.empty()) items.push_back(std::move(item));
            item.clear();
        } else {
            item += value[i];
        }
    }
    item = std::string(WithoutTrailingSpaces(item));
    if (!item.empty()) items.push_back(std::move(item));
    for (std::string& each : items) {
        if (std::optional<std::string> plain = UnescapeDesktopString(each)) each = std::move(*plain);
    }
    return items;
}

}  // namespace

AutostartFile ReadAutostartFile(std::string_view contents) {
    // A key given twice counts with its last value, as the desktop's readers take it.
    std::optional<std::string_view> exec;
    std::optional<std::string_view> hidden;
    AutostartFile file;
    ForEachEntryKey(contents, [&](std::string_view key, std::string_view value) {
        if (key == "Exec") exec = value;
        if (key == "Hidden") hidden = value;
        if (key == "TryExec") {
            file.tryExec = UnescapeDesktopString(WithoutTrailingSpaces(value));
            if (file.tryExec && file.tryExec->empty()) file.tryExec.reset();
        }
        if (key == "OnlyShowIn") file.onlyShowIn = ListValue(value);
        if (key == "NotShowIn") file.notShowIn = ListValue(value);
        if (key == "X-GNOME-Autostart-enabled")
            file.gnomeDisabled = WithoutTrailingSpaces(value) == "false";
        return true;
    });
    if (hidden) file.hidden = WithoutTrailingSpaces(*hidden) == "true";
    if (!exec) return file;
    const std::optional<std::string> unescaped = UnescapeDesktopString(*exec);
    if (!unescaped) return file;
    const std::optional<std::vector<std::string>> args = ExecArguments(*unescaped);
    if (!args || args->empty()) return file;
    std::string command;
    for (std::size_t i = 0; i < args->size(); ++i) {
        if (i > 0) command += ' ';
        command += (*args)[i];
    }
    file.command = std::move(command);
    file.arguments = std::move(*args);
    return file;
}

std::string FormatHiddenDesktopEntry() {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Tarvento\n"
           "Comment=Keeps the machine-wide Tarvento autostart entry from starting at this login\n"
           "Hidden=true\n";
}

}  // namespace tarvento
