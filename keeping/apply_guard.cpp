// SPDX-License-Identifier: GPL-3.0-or-later
#include "keeping/apply_guard.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <charconv>
#include <cstdlib>
#include <ctime>
#include <sstream>
#include <vector>

#include "files/durable_file.h"
#include "platform/small_file.h"
#include "platform/xdg_folders.h"
#include "texts/user_texts.h"

extern char** environ;

namespace tarvento {

namespace {

constexpr const char* kRecordHeader = "# Tarvento: the last unattended apply of clocks\n";

template <typename T>
bool ParseNumber(const std::string& text, T& value) {
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && at == end && !text.empty();
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

std::string LocalTime(int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (::localtime_r(&t, &tm) == nullptr) return "an unknown time";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

std::string SecureEnv(const char* name) {
    const char* value = ::secure_getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

std::string ClocksInWords(const std::string& chip, ClockPair clocks) {
    return chip + ", " + ClockPairText(clocks);
}

std::string FormatApplyRecord(const ApplyRecord& r) {
    std::ostringstream out;
    out << kRecordHeader
        << "state=" << (r.state == ApplyRecord::State::Survived ? "survived" : "pending") << "\n"
        << "boot=" << r.bootId << "\n"
        << "time=" << r.time << "\n"
        << "chip=" << r.chip << "\n"
        << "memory=" << r.clocks.memory << "\n"
        << "core=" << r.clocks.chip << "\n";
    return out.str();
}

std::optional<ApplyRecord> ParseApplyRecord(const std::string& text) {
    ApplyRecord r;
    int seen = 0;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) return std::nullopt;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        bool ok = true;
        if (key == "state") {
            ok = value == "pending" || value == "survived";
            r.state = value == "survived" ? ApplyRecord::State::Survived : ApplyRecord::State::Pending;
        } else if (key == "boot") {
            ok = !value.empty();
            r.bootId = value;
        } else if (key == "time") {
            ok = ParseNumber(value, r.time);
        } else if (key == "chip") {
            ok = !value.empty();
            r.chip = value;
        } else if (key == "memory") {
            ok = ParseNumber(value, r.clocks.memory);
        } else if (key == "core") {
            ok = ParseNumber(value, r.clocks.chip);
        } else {
            continue;  // a later version's key
        }
        if (!ok) return std::nullopt;
        ++seen;
    }
    if (seen < 6) return std::nullopt;
    return r;
}

std::optional<ApplyRecord> ReadApplyRecord(const std::string& path, std::string* unread) {
    SmallFileFailure why;
    const std::optional<std::string> text = ReadSmallFile(path, 4096, &why);
    if (unread != nullptr)
        *unread = text || why.kind == SmallFileFailure::Kind::Missing ? "" : SmallFileFailureText(path, why);
    if (!text) return std::nullopt;
    return ParseApplyRecord(*text);
}

std::string GuardMachine::BootId() const {
    const auto text = ReadSmallFile(procRoot + "/sys/kernel/random/boot_id");
    return text ? Trimmed(*text) : std::string();
}

bool GuardMachine::NoApplyWord() const {
    const auto text = ReadSmallFile(procRoot + "/cmdline", 1 << 16);
    if (!text) return false;
    std::istringstream words(*text);
    std::string word;
    while (words >> word)
        if (word == kNoApplyWord) return true;
    return false;
}

std::string LoginRecordPath() {
    const std::optional<std::string> state = XdgHomeFolder(XdgBase::State);
    return state ? *state + "/tarvento/last-apply" : std::string();
}

ApplyGuard::ApplyGuard(std::string recordPath, ApplySource source, GuardMachine machine)
    : path_(std::move(recordPath)), source_(source), machine_(std::move(machine)) {}

ApplyGuard::Verdict ApplyGuard::Check() {
    written_.reset();
    recordError_.clear();
    readError_.clear();
    previous_ = path_.empty() ? std::nullopt : ReadApplyRecord(path_, &readError_);
    if (machine_.NoApplyWord()) return verdict_ = Verdict::NoApplyWord;
    bootId_ = machine_.BootId();
    // Without a boot id no earlier boot can be told from this one: the record is kept,
    // but it cannot refuse anything.
    if (previous_ && previous_->state == ApplyRecord::State::Pending && !bootId_.empty() &&
        previous_->bootId != bootId_) {
        return verdict_ = Verdict::DidNotSurvive;
    }
    return verdict_ = Verdict::Apply;
}

void ApplyGuard::RecordPending(const char* chip, ClockPair clocks) {
    written_.reset();
    recordError_.clear();
    if (path_.empty()) {
        recordError_ = kNoStateFolder;
        return;
    }
    ApplyRecord record;
    record.bootId = !bootId_.empty() ? bootId_ : machine_.BootId();
    record.time = static_cast<int64_t>(std::time(nullptr));
    record.chip = chip != nullptr ? chip : "";
    record.clocks = clocks;
    if (!WriteFileDurably(path_, FormatApplyRecord(record), 0644, recordError_, 0700)) return;
    written_ = record;
}

bool ApplyGuard::Clear(std::string& error) const {
    return path_.empty() || RemoveFileDurably(path_, error);
}

const char* ApplyGuard::RefusalHeadline() { return kMsgClocksNotApplied; }

std::string ApplyGuard::RefusalText() const {
    if (verdict_ == Verdict::NoApplyWord) {
        return NoApplyWordText(kNoApplyWord);
    }
    if (verdict_ != Verdict::DidNotSurvive || !previous_) return {};
    return DidNotSurviveText(source_ == ApplySource::Login, ClocksInWords(previous_->chip, previous_->clocks),
                             LocalTime(previous_->time));
}

bool MarkApplySurvived(const std::string& path, const std::string& bootId, int64_t time,
                       const GuardMachine& machine) {
    std::optional<ApplyRecord> record = ReadApplyRecord(path);
    if (!record || record->bootId != bootId || record->time != time) return false;
    if (machine.BootId() != bootId) return false;
    if (record->state == ApplyRecord::State::Survived) return true;
    record->state = ApplyRecord::State::Survived;
    std::string error;
    return WriteFileDurably(path, FormatApplyRecord(*record), 0644, error);
}

bool WatchSurvival(const std::string& path, const std::string& bootId, int64_t time,
                   const GuardMachine& machine) {
    int seconds = kSurvivalSeconds;
    if (const std::string test = SecureEnv("TARVENTO_SURVIVAL_SECONDS"); !test.empty()) {
        int value = 0;
        if (ParseNumber(test, value) && value >= 0) seconds = value;
    }
    sigset_t stop;
    sigemptyset(&stop);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&stop, s);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    const timespec wait{seconds, 0};
    while (sigtimedwait(&stop, nullptr, &wait) < 0 && errno == EINTR) {
    }
    return MarkApplySurvived(path, bootId, time, machine);
}

bool StartSurvivalWatch(const std::string& program, const ApplyRecord& record,
                        const std::string& path, const GuardMachine& machine,
                        bool singleThreaded) {
    if (singleThreaded) {
        std::fflush(nullptr);
        const pid_t pid = ::fork();
        if (pid < 0) return false;
        if (pid > 0) return true;
        ::setsid();
        const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        for (int fd = 0; fd < 3 && null >= 0; ++fd) ::dup2(null, fd);
        ::_exit(WatchSurvival(path, record.bootId, record.time, machine) ? 0 : 1);
    }
    if (program.empty()) return false;
    const std::string time = std::to_string(record.time);
    std::vector<std::string> args = {program, "--watch-survival", path, record.bootId, time};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&files);
    posix_spawnattr_init(&attributes);
    for (int fd = 0; fd < 3; ++fd)
        posix_spawn_file_actions_addopen(&files, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    // Its own session: the watch outlives the window, and a terminal that closes does not
    // take it along. Signals blocked here stay blocked there; start it with none.
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = 0;
    const int result = posix_spawn(&pid, program.c_str(), &files, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    return result == 0;
}

std::string DescribeApplyRecord(const ApplyRecord& record, const std::string& currentBootId) {
    const char* state = record.state == ApplyRecord::State::Survived ? "survived"
                        : record.bootId == currentBootId             ? "pending"
                                                                     : "did not survive";
    return std::string(state) + " (" + LocalTime(record.time) + ", " + ClocksInWords(record.chip, record.clocks) + ")";
}

}  // namespace tarvento
