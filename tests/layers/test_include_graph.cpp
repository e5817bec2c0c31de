// SPDX-License-Identifier: GPL-3.0-or-later
// The include graph of the source tree: arrows run down the layers only, never in a
// circle, and nothing below the window layer reaches for Qt. The build already refuses an
// upward include in a file it compiles; this also covers headers that no file of their own
// layer includes, and cycles the compiler would accept thanks to #pragma once.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace tarvento::testing {
namespace {

namespace fs = std::filesystem;

// Lowest first. A file may include its own layer and the layers before it.
const std::vector<std::string> kLayers = {"platform", "chip", "texts", "files", "keeping", "tuner", "ui", "app"};
// Folders that stand on the layers and that no layer may include.
const std::vector<std::string> kOnTop = {"tools", "bench", "fuzz", "tests"};

std::optional<size_t> LayerOf(const std::string& path) {
    const std::string top = path.substr(0, path.find('/'));
    const auto it = std::find(kLayers.begin(), kLayers.end(), top);
    if (it == kLayers.end()) return std::nullopt;
    return static_cast<size_t>(it - kLayers.begin());
}

struct Include {
    std::string target;  // as written between the quotes or angle brackets
    bool angled = false;
};

// Every C++ file below the scanned folders, by its path from the root, with its includes.
using Graph = std::map<std::string, std::vector<Include>>;

Graph Scan(const fs::path& root) {
    static const std::regex kInclude(R"(^\s*#\s*include\s*([<"])([^">]+)[">])");
    Graph graph;
    std::vector<std::string> folders = kLayers;
    folders.insert(folders.end(), kOnTop.begin(), kOnTop.end());
    for (const std::string& folder : folders) {
        if (!fs::is_directory(root / folder)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
            const std::string ext = entry.path().extension().string();
            if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
            auto& includes = graph[fs::relative(entry.path(), root).generic_string()];
            std::ifstream in(entry.path());
            std::string line;
            std::smatch m;
            while (std::getline(in, line)) {
                if (std::regex_search(line, m, kInclude)) includes.push_back({m[2], m[1] == "<"});
            }
        }
    }
    return graph;
}

// The file a quoted include names: from the root, as the tree writes them, or else beside
// the including file. Empty for a file not in the tree (generated, or a system header).
std::string Resolve(const Graph& graph, const std::string& from, const std::string& target) {
    if (graph.count(target) != 0) return target;
    const std::string beside =
        (fs::path(from).parent_path() / target).lexically_normal().generic_string();
    if (graph.count(beside) != 0) return beside;
    return {};
}

// "a includes b" for every include that runs upward or out of the layers.
std::vector<std::string> UpwardArrows(const Graph& graph) {
    std::vector<std::string> found;
    for (const auto& [file, includes] : graph) {
        const auto layer = LayerOf(file);
        if (!layer) continue;
        for (const Include& include : includes) {
            if (include.angled) continue;
            const std::string target = Resolve(graph, file, include.target);
            const std::string named = target.empty() ? include.target : target;
            const auto targetLayer = LayerOf(named);
            if (targetLayer ? *targetLayer > *layer : !target.empty()) {
                found.push_back(file + " includes " + named);
            }
        }
    }
    return found;
}

// Qt headers are angled and start with Q (QWidget, QtCore/...).
std::vector<std::string> QtBelowTheWindow(const Graph& graph) {
    std::vector<std::string> found;
    const size_t ui = static_cast<size_t>(std::find(kLayers.begin(), kLayers.end(), "ui") - kLayers.begin());
    for (const auto& [file, includes] : graph) {
        const auto layer = LayerOf(file);
        if (!layer || *layer >= ui) continue;
        for (const Include& include : includes) {
            if (include.angled && include.target.starts_with('Q')) {
                found.push_back(file + " includes <" + include.target + ">");
            }
        }
    }
    return found;
}

// One cycle of quoted includes as "a -> b -> a", or empty when there is none.
std::string FindCycle(const Graph& graph) {
    enum class Mark { Open, Done };
    std::map<std::string, Mark> marks;
    std::vector<std::string> path;
    std::string cycle;
    auto visit = [&](auto& self, const std::string& file) -> bool {
        marks[file] = Mark::Open;
        path.push_back(file);
        for (const Include& include : graph.at(file)) {
            if (include.angled) continue;
            const std::string next = Resolve(graph, file, include.target);
            if (next.empty()) continue;
            const auto mark = marks.find(next);
            if (mark == marks.end()) {
                if (self(self, next)) return true;
            } else if (mark->second == Mark::Open) {
                for (auto it = std::find(path.begin(), path.end(), next); it != path.end(); ++it) {
                    cycle += *it + " -> ";
                }
                cycle += next;
                return true;
            }
        }
        path.pop_back();
        marks[file] = Mark::Done;
        return false;
    };
    for (const auto& [file, includes] : graph) {
        if (marks.count(file) == 0 && visit(visit, file)) return cycle;
    }
    return {};
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += "  " + line + "\n";
    return text;
}

TEST(IncludeGraph, ArrowsRunDownTheLayersOnly) {
    const Graph graph = Scan(TARVENTO_SOURCE_DIR);
    // A scan that found nothing would pass every check below.
    ASSERT_GT(graph.size(), 50u);
    ASSERT_EQ(graph.count("chip/registers.h"), 1u);
    ASSERT_EQ(graph.count("ui/ui_entry.h"), 1u);

    EXPECT_EQ(Lines(UpwardArrows(graph)), "");
    EXPECT_EQ(Lines(QtBelowTheWindow(graph)), "");
    EXPECT_EQ(FindCycle(graph), "");
}

// The checks themselves, on a small tree that breaks each rule once.
class IncludeGraphRules : public ::testing::Test {
protected:
    void Write(const std::string& path, const std::string& text) {
        const fs::path file = dir_.Path() / path;
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text;
    }
    Graph Tree() { return Scan(dir_.Path()); }

    TempFolder dir_;
};

TEST_F(IncludeGraphRules, AnUpwardIncludeIsNamedAndADownwardOneIsNot) {
    Write("chip/a.h", "#pragma once\n#include \"chip/b.h\"\n");
    Write("chip/b.h", "#pragma once\n#include <string>\n");
    Write("tuner/t.h", "#pragma once\n  #  include \"chip/a.h\"\n");
    Write("keeping/s.cpp", "#include \"tuner/t.h\"\n");
    Write("ui/w.cpp", "#include \"tools/helper.h\"\n");
    Write("tools/helper.h", "#pragma once\n#include \"ui/w.h\"\n");
    Write("ui/w.h", "#pragma once\n");
    // A header the tree does not hold (generated in the build tree) still counts by its folder.
    Write("tuner/g.cpp", "#include \"app/version.h\"\n");
    EXPECT_EQ(UpwardArrows(Tree()), (std::vector<std::string>{
                                        "keeping/s.cpp includes tuner/t.h",
                                        "tuner/g.cpp includes app/version.h",
                                        "ui/w.cpp includes tools/helper.h",
                                    }));
}

TEST_F(IncludeGraphRules, QtBelowTheWindowLayerIsNamed) {
    Write("tuner/t.cpp", "#include <QString>\n#include <queue>\n");
    Write("ui/w.cpp", "#include <QWidget>\n");
    EXPECT_EQ(QtBelowTheWindow(Tree()), std::vector<std::string>{"tuner/t.cpp includes <QString>"});
}

TEST_F(IncludeGraphRules, ACycleIsNamedEvenWithinOneLayer) {
    Write("chip/a.h", "#pragma once\n#include \"chip/b.h\"\n");
    Write("chip/b.h", "#pragma once\n#include \"c.h\"\n");
    Write("chip/c.h", "#pragma once\n#include \"chip/a.h\"\n");
    EXPECT_EQ(FindCycle(Tree()), "chip/a.h -> chip/b.h -> chip/c.h -> chip/a.h");

    Write("chip/c.h", "#pragma once\n");
    EXPECT_EQ(FindCycle(Tree()), "");
}

}  // namespace
}  // namespace tarvento::testing
