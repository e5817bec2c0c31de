// SPDX-License-Identifier: GPL-3.0-or-later
// The texts that name the supported chips and are written by hand (the README, the
// contributor guide, the package description, the menu entry), against the chip table.
// The help, the manual pages, the udev rule, the metainfo and the maintainer scripts are
// written from the table and need no check; these cannot be, so a row they do not name
// fails here, with the file and line.

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "chip/chip_table.h"
#include "texts/chip_list_text.h"

namespace tarvento::testing {
namespace {

std::string Hex4(uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04Xh", value);
    return text;
}

// The vendor ids of the chips, lowest first: "10DEh or 12D2h".
std::set<uint16_t> ChipVendors() {
    std::set<uint16_t> vendors;
    for (const ChipProfile* chip : DistinctChips())
        for (const uint16_t vendor : chip->vendorIds)
            if (vendor != 0) vendors.insert(vendor);
    return vendors;
}

std::string VendorsInWords() {
    std::vector<std::string> words;
    for (const uint16_t vendor : ChipVendors()) words.push_back(Hex4(vendor));
    return ListInWords(words, " or ");
}

std::string ChipNames(const char* separator) {
    std::string names;
    for (const ChipProfile* chip : DistinctChips()) names += chip->name + std::string(separator);
    return names;
}

// The rows of the README's table: a chip that answers with one vendor id of several says
// which.
std::string ReadmeRows() {
    std::string rows;
    for (const ChipProfile* chip : DistinctChips()) {
        std::set<uint16_t> own;
        for (const uint16_t vendor : chip->vendorIds)
            if (vendor != 0) own.insert(vendor);
        const std::string vendor = own == ChipVendors() ? "" : "vendor " + Hex4(*own.begin()) + ", ";
        std::vector<std::string> devices;
        for (const uint16_t device : chip->deviceIds)
            if (device != 0) devices.push_back(Hex4(device));
        const std::string device = (devices.size() == 1 ? "device " : "devices ") + ListInWords(devices, ", ");
        rows += "| " + std::string(chip->name) + " (" + vendor + device + ") | " + std::to_string(chip->memMin) + ".." + std::to_string(chip->memMax) +
                " MHz | " + std::to_string(chip->chipMin) + ".." + std::to_string(chip->chipMax) +
                " MHz | " +
                (chip->linkMode == LinkMode::Linked ? "move together (one clock)" : "independent") +
                " |\n";
    }
    return rows;
}

// A text with every run of white space made one space (lines wrap anywhere), and the line
// each of its characters came from.
struct FlatText {
    std::string text;
    std::vector<int> lines;
};

FlatText Flatten(const std::string& whole) {
    FlatText flat;
    int line = 1;
    bool space = false;
    for (const char c : whole) {
        if (c == ' ' || c == '\n' || c == '\t') {
            space = !flat.text.empty();
        } else {
            if (space) {
                flat.text += ' ';
                flat.lines.push_back(line);
            }
            space = false;
            flat.text += c;
            flat.lines.push_back(line);
        }
        if (c == '\n') ++line;
    }
    return flat;
}

std::string Flat(const std::string& text) { return Flatten(text).text; }

std::string FileText(const std::string& path) {
    std::ifstream in(std::string(TARVENTO_SOURCE_DIR) + "/" + path);
    std::stringstream whole;
    whole << in.rdbuf();
    return whole.str();
}

TEST(ChipLists, EveryHandWrittenListNamesTheChipsOfTheTable) {
    // Each copy: the file, the words that lead to the list, and the list with the words
    // that end it, as the table makes it.
    struct Copy {
        const char* file;
        std::string before;
        std::string list;
    };
    const std::vector<Copy> copies = {
        {"README.md", "memory and core (chip) clocks of",
         ChipsInWords(" and ") + " graphics cards (PCI vendor " + VendorsInWords() + ")"},
        {"README.md", "| Chip | Memory slider | Chip slider | Sliders |\n|---|---|---|---|",
         ReadmeRows() + "A wrong clock"},
        {"README.md", "a supported card, and nothing else: the",
         ChipsInWords(" and ") + " ids in the table above"},
        {"docs/CONTRIBUTING.md", "tarvento-virtual-card create DIR --chip", ChipNames("|") + "VVVV:DDDD"},
        {"docs/CONTRIBUTING.md", "a supported card, and nothing else: the",
         ChipsInWords(" and ") + " ids in the README's table"},
        {"debian/control", "Tarvento finds a", ChipsInWords(" or ") + " graphics card"},
        {"resources/tarvento.desktop.in", "Comment=Show and set the memory and chip clocks of",
         ChipsInWords(" and ") + " cards"},
    };
    for (const Copy& copy : copies) {
        const FlatText file = Flatten(FileText(copy.file));
        const std::string before = Flat(copy.before) + " ";
        const size_t at = file.text.find(before);
        if (at == std::string::npos) {
            ADD_FAILURE() << copy.file << " no longer says \"" << copy.before
                          << "\": find where it names the chips now and say so here";
            continue;
        }
        const size_t start = at + before.size();
        const std::string expected = Flat(copy.list);
        const std::string found = file.text.substr(start, expected.size());
        size_t same = 0;
        while (same < found.size() && found[same] == expected[same]) ++same;
        const size_t stale = std::min(start + same, file.lines.size() - 1);
        EXPECT_EQ(found, expected) << copy.file << ":" << file.lines[stale]
                                   << ": does not name the chips of the chip table (chip/chip_table.cpp)";
    }
}

TEST(ChipLists, ListsAndParagraphsAreWordedAsWrittenByHand) {
    EXPECT_EQ(ListInWords({}, " or "), "");
    EXPECT_EQ(ListInWords({"a"}, " or "), "a");
    EXPECT_EQ(ListInWords({"a", "b"}, " and "), "a and b");
    EXPECT_EQ(ListInWords({"a", "b", "c"}, " or "), "a, b or c");
    struct Case {
        const char* paragraph;
        size_t width;
        const char* lines;
    };
    for (const Case& c : {Case{"", 8, ""}, Case{"one two three", 7, "one two\nthree\n"},
                          Case{"one two", 6, "one\ntwo\n"}, Case{" a  b ", 8, "a b\n"},
                          Case{"a longerword b", 4, "a\nlongerword\nb\n"}}) {
        EXPECT_EQ(Wrapped(c.paragraph, c.width), c.lines) << '"' << c.paragraph << "\" at " << c.width;
    }
}

}  // namespace
}  // namespace tarvento::testing
