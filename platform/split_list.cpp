// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/split_list.h"

namespace tarvento {

std::vector<std::string> SplitList(std::string_view text, char separator) {
    std::vector<std::string> entries;
    while (!text.empty()) {
        const std::size_t end = text.find(separator);
        const std::string_view entry = text.substr(0, end);
        if (!entry.empty()) entries.emplace_back(entry);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    return entries;
}

}  // namespace tarvento
