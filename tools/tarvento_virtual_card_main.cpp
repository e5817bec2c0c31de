// SPDX-License-Identifier: GPL-3.0-or-later
// tarvento-virtual-card: builds and shows virtual cards, folders laid out like
// /sys/bus/pci that tarvento reads through TARVENTO_SYSFS_ROOT.

#include <cstdint>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chip/chip_table.h"
#include "chip/hex_text.h"
#include "tools/virtual_card.h"

using namespace tarvento::virtualcard;

namespace {

constexpr const char* kUsageRest =
    "           [--slot 0000:BB:DD.F] [--class 0xCCSSPP] [--bar0 0xADDR]\n"
    "           [--strap 0xVALUE] [--core-pll 0xVALUE] [--mem-pll 0xVALUE]\n"
    "           [--pll-select 0xVALUE]\n"
    "       tarvento-virtual-card show DIR\n"
    "\n"
    "create adds one PCI function to the tree at DIR (call it again to add more).\n"
    "Unset values take defaults: slot 0000:01:DD.0 (the first free DD), class 0x030000,\n"
    "the first free 16 MiB BAR0 from 0xE0000000, the chip's stock PLL and strap words,\n"
    "and the PLL select word a driver leaves (0x10000700 on a RIVA TNT and the TNT2\n"
    "family, 0x10010100 on a RIVA 128 or 128ZX: every PLL runs from its programmed word).\n"
    "--pll-select 0 makes a card whose PLLs run from the chip's built-in clock, as before\n"
    "any driver set a mode.\n"
    "show lists every function with its ids, class and BAR0, and decodes the PLL, strap\n"
    "and PLL select words of a card with registers.\n";

// The chip names come from the chip table, so a new chip shows up here by itself.
std::string Usage() {
    std::string chips;
    for (const tarvento::ChipProfile* p : tarvento::DistinctChips())
        chips += std::string(p->name) + "|";
    return "Usage: tarvento-virtual-card create DIR --chip " + chips + "VVVV:DDDD\n" + kUsageRest;
}

int UsageError(const std::string& message) {
    std::cerr << "tarvento-virtual-card: " << message << "\n"
              << "Run 'tarvento-virtual-card --help' for the usage.\n";
    return 2;
}

// "0x" and up to eight hex digits (the prefix may be left out), at most `max`.
std::optional<uint32_t> ParseHex(std::string_view text, uint32_t max) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    const auto value = tarvento::ParseHexDigits(text, 1, 8);
    if (!value || *value > max) return std::nullopt;
    return static_cast<uint32_t>(*value);
}

int Create(const std::vector<std::string>& args) {
    if (args.empty() || args[0].rfind("--", 0) == 0) return UsageError("create needs a folder");
    const std::string dir = args[0];
    std::map<std::string, std::string> options;
    for (size_t i = 1; i < args.size(); i += 2) {
        const std::string& name = args[i];
        static const char* const known[] = {"--chip", "--slot", "--class", "--bar0",
                                            "--strap", "--core-pll", "--mem-pll", "--pll-select"};
        bool isKnown = false;
        for (const char* k : known) isKnown = isKnown || name == k;
        if (!isKnown) return UsageError("unknown option '" + name + "'");
        if (i + 1 >= args.size()) return UsageError(name + " needs a value");
        if (!options.emplace(name, args[i + 1]).second) return UsageError(name + " is given twice");
    }
    if (!options.count("--chip")) return UsageError("create needs --chip");

    CardRequest request;
    request.chip = options["--chip"];
    if (options.count("--slot")) {
        request.slot = ParseSlot(options["--slot"]);
        if (!request.slot) {
            return UsageError("--slot '" + options["--slot"] + "' is not a slot like 0000:01:00.0");
        }
    }
    struct HexOption {
        const char* name;
        uint32_t max;
        std::optional<uint32_t>* target;
    };
    const HexOption hexOptions[] = {
        {"--class", 0xFFFFFF, &request.classCode}, {"--bar0", 0xFFFFFFFF, &request.bar0},
        {"--strap", 0xFFFFFFFF, &request.strap},   {"--core-pll", 0xFFFFFFFF, &request.corePll},
        {"--mem-pll", 0xFFFFFFFF, &request.memPll}, {"--pll-select", 0xFFFFFFFF, &request.pllSelect}};
    for (const HexOption& o : hexOptions) {
        auto it = options.find(o.name);
        if (it == options.end()) continue;
        *o.target = ParseHex(it->second, o.max);
        if (!*o.target) {
            return UsageError(std::string(o.name) + " '" + it->second + "' is not a hexadecimal number" +
                              (o.max == 0xFFFFFF ? " of at most 6 digits" : " of at most 8 digits"));
        }
    }

    VirtualCard card;
    std::string error;
    if (!ResolveRequest(dir, request, card, error) || !CreateCard(dir, card, error)) {
        std::cerr << "tarvento-virtual-card: " << error << "\n";
        return 1;
    }
    std::cout << "created " << DescribeCard(card);
    return 0;
}

int Show(const std::vector<std::string>& args) {
    if (args.size() != 1) return UsageError("show takes one folder");
    std::vector<VirtualCard> cards;
    std::vector<std::string> problems;
    std::string error;
    if (!ReadCards(args[0], cards, problems, error)) {
        std::cerr << "tarvento-virtual-card: " << error << "\n";
        return 1;
    }
    if (cards.empty() && problems.empty()) std::cout << "no PCI functions in " << args[0] << "\n";
    for (const VirtualCard& card : cards) std::cout << DescribeCard(card);
    for (const std::string& p : problems) std::cerr << "tarvento-virtual-card: " << p << "\n";
    return problems.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> all(argv + 1, argv + argc);
    if (all.empty()) return UsageError("no command");
    if (all[0] == "--help" || all[0] == "-h") {
        std::cout << Usage();
        return 0;
    }
    const std::vector<std::string> rest(all.begin() + 1, all.end());
    if (all[0] == "create") return Create(rest);
    if (all[0] == "show") return Show(rest);
    return UsageError("unknown command '" + all[0] + "'");
}
