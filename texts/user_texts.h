// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "chip/access_failure.h"
#include "chip/adapter_discovery.h"
#include "chip/apply_clocks.h"
#include "chip/chips_not_taken.h"
#include "chip/registers.h"
#include "platform/folders.h"
#include "platform/small_file.h"

namespace tarvento {

// Every message the user reads: the texts of the message boxes, the sentences printed on
// standard error (the journal, for the services) and the reasons and advice below them.
// They are declared here and written in user_texts.cpp alone, so that a change of wording
// is one line there and rebuilds one object. texts/ sits right above chip/, so every room
// that speaks to the user finds them; chip/ only reports facts (AccessFailure), which are
// worded here.
// Message texts are used exactly as given, spelling included.

// Message boxes (headless: the same texts on standard error, line breaks as spaces).
extern const char* const kWarningText;
extern const char* const kMsgFrequencyOutOfRange;
extern const char* const kMsgAutostartAccessFailed;
extern const char* const kMsgPciAccessFailed;
extern const char* const kMsgWrongChipset;
extern const char* const kMsgDontPanic;
extern const char* const kMsgRestored;
extern const char* const kMsgCommandLineError;
// The chipset field, and --info, when no supported chip was recognised.
extern const char* const kChipsetUnknown;

// An unattended apply that its guard stopped: the headline, and why.
extern const char* const kMsgClocksNotApplied;
std::string NoApplyWordText(const std::string& word);
// `clocks` in words ("RIVA_TNT, Mem Clock 120 MHz, Chip Clock 100 MHz"), `when` local time.
std::string DidNotSurviveText(bool login, const std::string& clocks, const std::string& when);
// Why an apply could not be recorded as pending.
extern const char* const kNoStateFolder;

// Why a file or folder could not be written (the reason after "the boot clocks were not
// stored: " and the like), with what the system said (errno) when it said something.
enum class FileStep { CreateBeside, Write, Replace, SyncFolder, Remove };
std::string FileErrorText(FileStep step, const std::string& path);
std::string FileErrorText(FileStep step, const std::string& path, int error);
// Why a folder could not be made, in the same words.
std::string FolderFailureText(const FolderFailure& failure);
// Why a small file (a record, the boot clocks) was not read: "PATH is not a regular file".
std::string SmallFileFailureText(const std::string& path, const SmallFileFailure& failure);

// Why the machine could not be read or the registers reached, as one plain sentence
// without its final period.
std::string ReasonText(const AccessFailure& failure);
// The sentence for a refused open or mmap of a register file: what to do about it.
std::string RegisterAccessReason(const RegisterAccessFacts& facts);
// Says why, for a card of the family the program leaves out on purpose (WhyNotTaken).
std::string UnsupportedAdapterText(uint16_t vendorId, uint16_t deviceId);
// Why such a card is not taken, as the end of a sentence.
std::string NotTakenText(NotTakenReason reason);
// Below "wrong Chipset in ComandLine !": the card the start found (`adapter`, the one
// discovery took; `chipName`, its chip when recognised), or that it found none.
std::string FoundCardText(const std::optional<DisplayAdapter>& adapter, const char* chipName);

// The start, with or without a window.
// A first argument that begins with "-" and is no option.
std::string UnknownOptionText(const std::string& option);
extern const char* const kNeedsGraphicalSession;
std::string NoWindowReasonText(const std::string& whyNot);
std::string NoWindowText(const std::string& whyNot);  // the reason, then what to do instead
std::string NoWindowAppliedWithoutText(const std::string& whyNot);
std::string StartArgumentsTooLongText(std::size_t limit);
std::string ApplyNotRecordedText(const std::string& error);
// The guard could not read the record of the last apply (`why`: SmallFileFailureText).
std::string ApplyRecordNotReadText(const std::string& why);
// A record --reset or the restore after resume needs could not be read.
std::string FileNotReadText(const std::string& why);
extern const char* const kCannotWatchSurvival;
extern const char* const kSecureExecutionRefusal;
std::string CannotLoadWindowLibraryText(const std::string& path, const char* why);
std::string NoEntryPointText(const std::string& path, const char* symbol);
// Why no window system answers (parts of the reason above).
std::string WaylandWithoutRuntimeDirText(const std::string& display);
std::string WaylandPathTooLongText(const std::string& path);
std::string NoWaylandSocketText(int error);
std::string NoWaylandCompositorText(const std::string& path, int error);
extern const char* const kNoXServerNamed;
std::string XServerUnreachableText(const std::string& display);
std::string WaylandPluginMissingText(const std::string& package);
std::string PlatformPluginMissingText(const std::string& name);
std::string PlatformPluginUnloadableText(const std::string& name, const std::string& error);
std::string EmptyPlatformListText(const std::string& list);

// The boot clocks (--boot-clocks, the boot service).
extern const char* const kBootClocksOff;
std::string BootClocksSetText(const std::string& inWords);
std::string BootClocksNotStoredText(const std::string& error);
// The boot service found a file that holds no chip name and two clocks, or could not read
// it (`why`: SmallFileFailureText).
std::string BootClocksUnreadableText(const std::string& path);
std::string BootClocksNotReadText(const std::string& why);

// What the user reads about an apply's outcome: the message, and below it (the box's
// informative text, a second line on standard error) why, when there is more to say.
// Nothing for an apply that wrote everything, or had no chip to write to.
struct OutcomeWords {
    std::string message;
    std::string reason;
};
std::optional<OutcomeWords> ApplyOutcomeWords(const ApplyOutcome& outcome);
// "Chip Clock 1 MHz is outside RIVA_TNT's 80..130 MHz; nothing was written".
std::string OutsideLimitsText(const char* chip, const std::vector<LimitBreach>& breaches);
// "Mem Clock 110 MHz, Chip Clock 90 MHz".
std::string ClockPairText(ClockPair clocks);
// What a PLL word makes, to the kHz: "makes 120.170 MHz (crystal 14.31818 MHz)", or "no
// clock: M is 0 (crystal ...)".
std::string PllOutputText(uint32_t word, uint32_t strap, uint32_t pMask = kPllPMask);

// The card's firmware clocks, recorded by the boot service and put back by --reset.
std::string FirmwareNotRecordedText(const std::string& error);
extern const char* const kFirmwareWordsUnread;
std::string NoFirmwareRecordText(const std::string& path);
std::string NotAFirmwareRecordText(const std::string& path);
std::string FirmwareRecordOfAnotherCardText(const std::string& recorded, const std::string& found);
extern const char* const kFirmwareRecordOfEarlierBoot;
std::string ImplausibleRecordedWordText(const std::string& word, const std::string& offset);
extern const char* const kFirmwareClocksAlreadyThere;

// A trial of clocks (--try).
std::string TrialQuestionText(int seconds, const std::string& savedInWords);
std::string TrialWentBackText(const std::string& why, const std::string& savedInWords);
std::string NoTrialAnswerText(int seconds);
extern const char* const kTrialNotKept;
std::string TrialStoppedBySignalText(const char* signalName);
extern const char* const kTrialWentBackAtOnce;
extern const char* const kTrialNotRestored;
std::string TrialTimeUsageText(int min, int max);
extern const char* const kTrialSignalsUnwatched;
extern const char* const kDryRunWroteNothing;

// Keeping the clocks across sleep (the sleep service).
std::string NoClocksSavedText(const std::string& reason);
extern const char* const kNoClocksSavedUnread;
std::string ClocksNotSavedText(const std::string& error);
extern const char* const kNothingSavedToRestore;
std::string NotASavedCardText(const std::string& path);
std::string NotASupportedChipAfterResumeText(const std::string& reason);
std::string NotTheSavedCardText(const std::string& slot, const std::string& savedSlot);
extern const char* const kPllWordsUnreadAfterResume;
std::string ImplausiblePllWordText(const std::string& word, const std::string& offset);
extern const char* const kClocksUnchangedAcrossSleep;
std::string NotRestoredText(const std::string& reason);     // nothing was written
std::string NotAllRestoredText(const std::string& reason);  // some was

}  // namespace tarvento
