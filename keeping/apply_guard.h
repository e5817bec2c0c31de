// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "chip/clock_pair.h"

namespace tarvento {

// Clocks applied without anybody watching can hang the machine, and then hang it again at
// every start. So every unattended apply first records that it is pending; once the machine
// has kept running for kSurvivalSeconds the record says it survived. A start that finds an
// apply still pending from an earlier boot knows the machine did not survive those clocks,
// applies nothing and waits for the owner to choose again.

// A hang from clocks the card cannot take shows while the desktop starts and draws its first
// frames; a minute and a half covers a slow login to the first window with room to spare,
// and is short enough that an owner seldom restarts on purpose within it (a clean shutdown
// counts as survived anyway).
inline constexpr int kSurvivalSeconds = 90;

// The word on the kernel command line that stops every unattended apply of that boot.
inline constexpr const char* kNoApplyWord = "tarvento.noapply";

struct ApplyRecord {
    enum class State { Pending, Survived };
    State state = State::Pending;
    std::string bootId;  // /proc/sys/kernel/random/boot_id of the boot that applied
    int64_t time = 0;    // when, in seconds since the epoch
    std::string chip;
    ClockPair clocks;
};

// The record's text, and back; nothing for a text that is not a whole record.
std::string FormatApplyRecord(const ApplyRecord& record);
std::optional<ApplyRecord> ParseApplyRecord(const std::string& text);
// `unread`, when given, says why a file that is there could not be read (empty otherwise).
std::optional<ApplyRecord> ReadApplyRecord(const std::string& path, std::string* unread = nullptr);

// What the guard asks of the machine, under a root that tests replace (default /proc).
struct GuardMachine {
    std::string procRoot = "/proc";
    std::string BootId() const;  // empty when it cannot be read
    bool NoApplyWord() const;    // kNoApplyWord is a word of the kernel command line
};

// Where the login entry keeps its record: $XDG_STATE_HOME/tarvento/last-apply (default
// ~/.local/state); empty when neither gives an absolute folder.
std::string LoginRecordPath();

enum class ApplySource { Login, Boot };

class ApplyGuard {
public:
    enum class Verdict { Apply, NoApplyWord, DidNotSurvive };

    ApplyGuard(std::string recordPath, ApplySource source, GuardMachine machine = {});

    // Before an unattended apply: may the pair be applied? Writes nothing. The apply may
    // still refuse by itself afterwards (the chip's limits, its PLLs not running from their
    // words), so the record waits for its first register write.
    Verdict Check();
    // Right before that first write: the apply is recorded as pending (durably). A record
    // that cannot be written does not stop the apply; RecordError says why.
    void RecordPending(const char* chip, ClockPair clocks);

    // The record Check found (the last apply), if any.
    const std::optional<ApplyRecord>& Previous() const { return previous_; }
    // The verdict of the last Check; Apply before any.
    Verdict LastVerdict() const { return verdict_; }
    // What RecordPending wrote; nothing when it was not asked to or could not write.
    const std::optional<ApplyRecord>& Written() const { return written_; }
    // Why the last RecordPending wrote nothing; empty when it wrote its record.
    const std::string& RecordError() const { return recordError_; }
    // Why Check could not read the record that is there (a FIFO, a folder...), which then
    // counts as none; empty when it read it or there is none.
    const std::string& ReadError() const { return readError_; }

    // For a refusal: one line to head a message, and the sentences that say why and how
    // to get clocks applied again.
    static const char* RefusalHeadline();
    std::string RefusalText() const;

    // The owner chose again: forgets the last apply, whatever became of it.
    bool Clear(std::string& error) const;

    const std::string& RecordPath() const { return path_; }

private:
    std::string path_;
    ApplySource source_;
    GuardMachine machine_;
    Verdict verdict_ = Verdict::Apply;
    std::string bootId_;  // as Check read it
    std::optional<ApplyRecord> previous_;
    std::optional<ApplyRecord> written_;
    std::string recordError_;
    std::string readError_;
};

// Marks the record at `path` survived when it is still the pending one of this boot id and
// time, and the machine is still in that boot; true when it did (or it already said so).
bool MarkApplySurvived(const std::string& path, const std::string& bootId, int64_t time,
                       const GuardMachine& machine = {});

// Waits kSurvivalSeconds (TARVENTO_SURVIVAL_SECONDS for tests), or until the process is
// asked to stop (SIGTERM, SIGINT, SIGHUP: an orderly shutdown or logout is a machine that
// kept running), then marks the record survived.
bool WatchSurvival(const std::string& path, const std::string& bootId, int64_t time,
                   const GuardMachine& machine = {});

// Starts the watch in a process of its own, in a session of its own with its standard
// streams on /dev/null, so that the caller can end at once. A process with one thread (no
// window toolkit loaded) forks and watches in the child, which costs far less than
// starting a program; any other starts `program --watch-survival PATH BOOTID TIME`.
// False when it could not.
bool StartSurvivalWatch(const std::string& program, const ApplyRecord& record,
                        const std::string& path, const GuardMachine& machine,
                        bool singleThreaded);

// "RIVA_TNT, Mem Clock 120 MHz, Chip Clock 100 MHz": a chip and its clocks in a report.
std::string ClocksInWords(const std::string& chip, ClockPair clocks);

// How a record reads in a report: "survived (2026-12-08 11:02:03, RIVA_TNT, Mem Clock
// 120 MHz, Chip Clock 100 MHz)", "pending (...)" or "did not survive (...)".
std::string DescribeApplyRecord(const ApplyRecord& record, const std::string& currentBootId);

}  // namespace tarvento
