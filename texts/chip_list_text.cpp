// SPDX-License-Identifier: GPL-3.0-or-later
#include "texts/chip_list_text.h"

#include <algorithm>

#include "chip/chip_table.h"

namespace tarvento {

std::string ListInWords(const std::vector<std::string>& items, std::string_view lastJoin) {
    std::string words;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) words += i + 1 == items.size() ? lastJoin : ", ";
        words += items[i];
    }
    return words;
}

std::string ChipsInWords(std::string_view lastJoin) {
    std::vector<std::string> names;
    for (const ChipProfile* chip : DistinctChips()) {
        std::string name = chip->name;
        std::replace(name.begin(), name.end(), '_', ' ');
        names.push_back(name);
    }
    return ListInWords(names, lastJoin);
}

std::string ChipNamesList() {
    std::string list;
    for (const ChipProfile* chip : DistinctChips()) list += (list.empty() ? "" : ", ") + std::string(chip->name);
    return list;
}

std::string Wrapped(std::string_view paragraph, size_t width) {
    std::string text;
    size_t lineLength = 0;
    while (!paragraph.empty()) {
        const size_t end = paragraph.find(' ');
        const std::string_view word = paragraph.substr(0, end);
        paragraph = end == std::string_view::npos ? std::string_view() : paragraph.substr(end + 1);
        if (word.empty()) continue;
        if (lineLength > 0 && lineLength + 1 + word.size() > width) {
            text += '\n';
            lineLength = 0;
        }
        if (lineLength > 0) {
            text += ' ';
            ++lineLength;
        }
        text += word;
        lineLength += word.size();
    }
    return lineLength > 0 ? text + '\n' : text;
}

}  // namespace tarvento
