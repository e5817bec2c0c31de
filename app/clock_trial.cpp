// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/clock_trial.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <optional>

#include "chip/chip_table.h"
#include "chip/running_program.h"
#include "keeping/apply_guard.h"
#include "keeping/apply_to_card.h"
#include "keeping/start_arguments.h"
#include "texts/user_texts.h"

namespace tarvento {

namespace {

using Clock = std::chrono::steady_clock;

// The signals that end a trial at once are taken from a descriptor, never by a handler, so
// that the words go back on the one thread, after the apply if one is under way. Ctrl-Z
// would leave the trial's clocks on a stopped process, and a closed output would end it
// before it could put them back: those are not heeded during a trial.
class TrialSignals {
public:
    TrialSignals() {
        sigemptyset(&set_);
        for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set_, s);
        sigprocmask(SIG_BLOCK, &set_, nullptr);
        for (int s : {SIGTSTP, SIGTTIN, SIGTTOU, SIGPIPE}) ::signal(s, SIG_IGN);
        fd_ = ::signalfd(-1, &set_, SFD_CLOEXEC);
    }
    ~TrialSignals() {
        if (fd_ >= 0) ::close(fd_);
    }
    TrialSignals(const TrialSignals&) = delete;
    TrialSignals& operator=(const TrialSignals&) = delete;
    int Fd() const { return fd_; }
    bool Usable() const { return fd_ >= 0; }
    // The name of the signal that arrived, or nothing.
    std::optional<const char*> Take() const {
        signalfd_siginfo info{};
        if (::read(fd_, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return std::nullopt;
        switch (info.ssi_signo) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        default: return "SIGHUP";
        }
    }

private:
    sigset_t set_{};
    int fd_ = -1;
};

// Waits for the owner's answer: nothing when the clocks are kept, else why they go back.
std::optional<std::string> AwaitAnswer(int seconds, const TrialSignals& signals, std::ostream& out) {
    const bool terminal = ::isatty(STDIN_FILENO) == 1;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
    bool inputOpen = true;
    bool typed = false;  // something other than blanks before the Enter
    int shown = -1;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        const int secondsLeft = static_cast<int>((left.count() + 999) / 1000);
        if (terminal && secondsLeft != shown) {
            out << "\r" << secondsLeft << " s left " << std::flush;
            shown = secondsLeft;
        }
        // On a terminal the count is redrawn at each whole second.
        const int wait = terminal ? static_cast<int>(left.count() - (secondsLeft - 1) * 1000)
                                  : static_cast<int>(left.count());
        pollfd fds[2] = {{signals.Fd(), POLLIN, 0}, {inputOpen ? STDIN_FILENO : -1, POLLIN, 0}};
        const int ready = ::poll(fds, 2, wait);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        if ((fds[0].revents & POLLIN) != 0) {
            if (const auto name = signals.Take()) {
                if (terminal) out << "\n";
                return TrialStoppedBySignalText(*name);
            }
        }
        if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
        char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) {
            inputOpen = false;  // the end of the input is no answer: the deadline stands
            continue;
        }
        if (c != '\n') {
            typed = typed || (c != ' ' && c != '\t' && c != '\r');
            continue;
        }
        if (terminal) out << "\n";
        // Enter alone keeps them; anything typed before it is no yes.
        if (!typed) return std::nullopt;
        return std::string(kTrialNotKept);
    }
    if (terminal) out << "\n";
    return NoTrialAnswerText(seconds);
}

std::optional<int> TrialSeconds(const std::vector<std::string>& arguments) {
    if (arguments.size() < 4) return kTrialSeconds;
    int seconds = 0;
    const std::string& text = arguments[3];
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (ec != std::errc() || end != text.data() + text.size() || seconds < kTrialMinSeconds ||
        seconds > kTrialMaxSeconds) {
        return std::nullopt;
    }
    return seconds;
}

}  // namespace

int TryClocks(ChipState& chip, const std::vector<std::string>& arguments, std::ostream& out,
              std::ostream& err) {
    const std::string prefix = DiagnosticPrefix();
    const std::optional<int> seconds = TrialSeconds(arguments);
    if (!seconds) {
        err << prefix << TrialTimeUsageText(kTrialMinSeconds, kTrialMaxSeconds) << "\n";
        return 2;
    }
    const std::optional<NamedClocks> named = ParseNamedClocks(arguments[0], arguments[1], arguments[2]);
    if (!named) {
        err << prefix << kMsgCommandLineError << "\n";
        return 1;
    }
    const TrialSignals signals;
    if (!signals.Usable()) {
        err << prefix << kTrialSignalsUnwatched << "\n";
        return 1;
    }
    // The words go back exactly as they were, so they are read before anything is written;
    // a card whose words cannot be read is not tried at all.
    if (!FindCard(chip, err)) return 1;
    const ChipProfile& profile = *FindChipProfileByName(chip.currentChipName);
    const uint32_t base = chip.recognizedAdapter->registerBase;
    const std::optional<PllWords> saved = ReadPllWords(chip.hardware, base, profile);
    const std::optional<ClockPair> savedClocks =
        saved ? ClocksOfPllWords(chip.hardware, base, profile, *saved) : std::nullopt;
    if (!saved || !savedClocks) {
        err << prefix << kMsgPciAccessFailed << "\n"
            << prefix << ReasonText(AccessFailure::Of(AccessFailure::Kind::RegistersUnread)) << "\n";
        return 1;
    }
    CardWrite trial;
    trial.chip = named->chip;
    trial.clocks = named->clocks;
    const CardWriteResult tried = WriteToCard(chip, trial, out, err);
    CardWrite back;
    back.words = *saved;
    if (tried.status != CardWriteResult::Status::Written) {
        // A pair half applied is no pair to try.
        if (tried.applied && WriteToCard(chip, back, out, err).written > 0)
            err << prefix << kTrialWentBackAtOnce << "\n";
        return 1;
    }
    out << "Trying " << ClocksInWords(chip.currentChipName, named->clocks) << "\n"
        << TrialQuestionText(*seconds, ClockPairText(*savedClocks)) << "\n"
        << std::flush;
    const std::optional<std::string> why = AwaitAnswer(*seconds, signals, out);
    if (!why) {
        out << "Kept: " << ClocksInWords(chip.currentChipName, named->clocks) << "\n";
        return 0;
    }
    if (WriteToCard(chip, back, out, err).status != CardWriteResult::Status::Written) {
        err << prefix << kTrialNotRestored << "\n";
        return 1;
    }
    out << TrialWentBackText(*why, ClockPairText(*savedClocks)) << "\n";
    return kTrialWentBack;
}

int DryRun(ChipState& chip, const std::vector<std::string>& arguments, std::ostream& out,
           std::ostream& err) {
    const std::optional<NamedClocks> named = ParseNamedClocks(arguments[0], arguments[1], arguments[2]);
    if (!named) {
        err << DiagnosticPrefix() << kMsgCommandLineError << "\n";
        return 1;
    }
    CardWrite write;
    write.chip = named->chip;
    write.clocks = named->clocks;
    write.dryRun = true;
    return WriteToCard(chip, write, out, err).status == CardWriteResult::Status::Written ? 0 : 1;
}

}  // namespace tarvento
