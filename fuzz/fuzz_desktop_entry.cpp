// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop entry that keeps the autostart value: reading any file back, and writing
// any entry and reading it again.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "keeping/desktop_entry.h"

using namespace tarvento;

namespace {

// The arguments of an Exec value (string escapes already removed) as a launcher splits
// them: quoted arguments with \" \` \$ \\ inside, %% for a percent sign. Nothing for
// a value a launcher would refuse.
std::optional<std::vector<std::string>> SplitExec(std::string_view exec) {
    constexpr std::string_view kReserved = "\t\n\"'\\><~|&;$*?#()`";
    std::vector<std::string> args;
    size_t i = 0;
    while (i < exec.size()) {
        if (exec[i] == ' ') {
            ++i;
            continue;
        }
        std::string arg;
        if (exec[i] == '"') {
            for (++i;; ++i) {
                if (i >= exec.size()) return std::nullopt;
                if (exec[i] == '"') break;
                if (exec[i] == '\\') {
                    if (++i >= exec.size()) return std::nullopt;
                    if (std::string_view("\"`$\\").find(exec[i]) == std::string_view::npos) return std::nullopt;
                }
                arg += exec[i];
            }
            ++i;
            if (i < exec.size() && exec[i] != ' ') return std::nullopt;
        } else {
            for (; i < exec.size() && exec[i] != ' '; ++i) {
                if (kReserved.find(exec[i]) != std::string_view::npos) return std::nullopt;
                arg += exec[i];
            }
        }
        // Field codes: only %% occurs, and it stands for one percent sign.
        std::string plain;
        for (size_t k = 0; k < arg.size(); ++k) {
            if (arg[k] == '%') {
                if (k + 1 >= arg.size() || arg[k + 1] != '%') return std::nullopt;
                ++k;
            }
            plain += arg[k];
        }
        args.push_back(plain);
    }
    return args;
}

void CheckReadingAnyFile(std::string_view contents) {
    // What the desktop would start: never longer than the file that says it.
    const AutostartFile read = ReadAutostartFile(contents);
    if (read.command) FUZZ_CHECK(read.command->size() <= contents.size());

    const std::optional<std::string> value = ParseDesktopEntry(contents);
    if (!value) return;
    // Unescaping only ever shortens.
    FUZZ_CHECK(value->size() <= contents.size());
    // What was read, kept again, reads back the same.
    const std::string again =
        std::string("[Desktop Entry]\n") + kEntryTextKey + "=" + EscapeDesktopString(*value) + "\n";
    FUZZ_CHECK(ParseDesktopEntry(again) == value);
}

void CheckWritingAnyEntry(std::string_view entry) {
    const std::optional<std::string> file = FormatDesktopEntry(entry);
    if (!file) return;
    FUZZ_CHECK(DesktopEntryCanCarry(entry));
    const std::optional<AutostartFields> fields = SplitAutostartEntry(entry);
    FUZZ_CHECK(fields.has_value());

    // parse(build(x)) == x
    FUZZ_CHECK(ParseDesktopEntry(*file) == std::string(entry));

    // Nothing in the entry can add a line or a key: exactly the fixed lines, in order.
    const std::string_view keys[] = {"[Desktop Entry]", "Type=", "Name=", "Comment=", "Icon=",
                                     "Exec=", "Terminal=", "X-Tarvento-Entry="};
    std::string_view rest = *file;
    std::string_view execValue;
    for (const std::string_view key : keys) {
        const size_t end = rest.find('\n');
        FUZZ_CHECK(end != std::string_view::npos);
        const std::string_view line = rest.substr(0, end);
        FUZZ_CHECK(line.starts_with(key));
        if (key == "Exec=") execValue = line.substr(key.size());
        rest.remove_prefix(end + 1);
    }
    FUZZ_CHECK(rest.empty());

    // A launcher starts the program with exactly the entry's four fields.
    const std::optional<std::string> exec = UnescapeDesktopString(execValue);
    FUZZ_CHECK(exec.has_value());
    const std::optional<std::vector<std::string>> args = SplitExec(*exec);
    FUZZ_CHECK(args.has_value());
    const std::vector<std::string> expected{std::string(fields->programPath), std::string(fields->chipName),
                                            std::string(fields->memClock), std::string(fields->chipClock)};
    FUZZ_CHECK(*args == expected);
    // The program's own reader splits it the same way and reads back the entry.
    FUZZ_CHECK(ExecArguments(*exec) == args);
    const AutostartFile read = ReadAutostartFile(*file);
    FUZZ_CHECK(!read.hidden && read.command == std::string(entry));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Views straight over libFuzzer's buffer, which ends exactly where the input does.
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckReadingAnyFile(text);
    CheckWritingAnyEntry(text);
    return 0;
}
