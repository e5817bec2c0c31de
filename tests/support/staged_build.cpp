// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/staged_build.h"

#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>
#include <system_error>

#include <gtest/gtest.h>

namespace tarvento::testing {

namespace fs = std::filesystem;

namespace {

// The first folder on the way to `folder` (itself included) that other users cannot pass
// through; empty when there is none.
fs::path FirstClosedFolder(const fs::path& folder) {
    for (fs::path p = folder;; p = p.parent_path()) {
        struct stat st {};
        if (::stat(p.c_str(), &st) != 0 || (st.st_mode & S_IXOTH) == 0) return p;
        if (p == p.parent_path()) return {};
    }
}

// Made once for the whole test program, so not a TempFolder: a forked child that ends
// normally runs the static destructors too, and must leave its parent's copies alone.
class Stage {
public:
    Stage() {
        std::error_code ec;
        std::string pattern = (fs::temp_directory_path(ec) / "tarvento-stage-XXXXXX").string();
        if (ec || ::mkdtemp(pattern.data()) == nullptr) {
            error_ = "cannot make a folder from " + pattern;
            return;
        }
        root_ = pattern;
        owner_ = ::getpid();
        ::chmod(root_.c_str(), 0755);
        if (const fs::path closed = FirstClosedFolder(root_); !closed.empty()) {
            error_ = "other users cannot pass through " + closed.string() +
                     ": let TMPDIR name a folder they can";
            return;
        }
        const fs::path built = TARVENTO_BINARY_DIR;
        Copy(built / "bin/tarvento", root_ / "bin/tarvento", fs::perms(0755));
        for (const auto& library : fs::directory_iterator(built / TARVENTO_LIB_DIR, ec)) {
            if (library.is_regular_file())
                Copy(library.path(), root_ / TARVENTO_LIB_DIR / library.path().filename(), fs::perms(0755));
        }
        if (ec) error_ = "cannot list " + (built / TARVENTO_LIB_DIR).string() + ": " + ec.message();
    }

    ~Stage() {
        // A forked child that ends normally must not take the copies from its parent.
        std::error_code ec;
        if (!root_.empty() && ::getpid() == owner_) fs::remove_all(root_, ec);
    }

    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;

    fs::path Program() {
        Check();
        return root_ / "bin/tarvento";
    }

    fs::path File(const fs::path& file) {
        auto it = files_.find(file);
        if (it == files_.end()) {
            const fs::path copy = root_ / "files" / file.filename();
            Copy(file, copy, fs::perms(0644));
            it = files_.emplace(file, copy).first;
        }
        Check();
        return it->second;
    }

private:
    // Copies `from` to `to`, making the folders on the way, with a mode everyone may use
    // whatever the builder's umask gave the original.
    void Copy(const fs::path& from, const fs::path& to, fs::perms mode) {
        if (!error_.empty()) return;
        std::error_code ec;
        for (fs::path folder = to.parent_path(); folder != root_; folder = folder.parent_path()) {
            if (fs::create_directories(folder, ec); ec) break;
            fs::permissions(folder, fs::perms(0755), ec);
        }
        if (!ec) fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
        if (!ec) fs::permissions(to, mode, ec);
        if (ec) error_ = "cannot copy " + from.string() + " to " + to.string() + ": " + ec.message();
    }

    void Check() const {
        if (!error_.empty()) ADD_FAILURE() << "the build cannot be staged for another user: " << error_;
    }

    fs::path root_;
    pid_t owner_ = -1;
    std::string error_;
    std::map<fs::path, fs::path> files_;
};

Stage& TheStage() {
    static Stage stage;
    return stage;
}

}  // namespace

fs::path StagedProgram() { return TheStage().Program(); }

fs::path StagedFile(const fs::path& file) { return TheStage().File(file); }

}  // namespace tarvento::testing
