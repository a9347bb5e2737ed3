// Controls of the stand-in host beyond the calls the module makes: what a test or the workbench
// needs to play the host's part.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/OrnSettings.h"
#include "host/ZelFile.h"

namespace ornhost {

/// A design file that cannot be opened, is not a design file, is of a newer format, or cannot be
/// written. The message is one line: the file, then what is wrong in plain words (the reason).
class DesignFileError : public std::runtime_error {
 public:
  DesignFileError(const std::string& file, const std::string& reason)
      : std::runtime_error(file + ": " + reason), reason_(reason) {}
  const std::string& Reason() const noexcept { return reason_; }

 private:
  std::string reason_;
};

// --- What the host reports -------------------------------------------------------------------

/// The host's one way to tell the person of its own failures (a write that did not reach the
/// file, a damaged file): each message is one line naming the setup, the file and the reason.
/// Without a reporter, messages go to standard error.
void SetErrorReporter(std::function<void(const std::string& message)> reporter);
/// Why the store refused the last rename asked of it, when that was the rename of oldName to
/// newName: "a setup named "Interior" already exists", the name rule newName breaks ("a setup
/// name cannot hold the control character U+0001"), that no setup has oldName, or that the file
/// cannot be written. Empty when that rename took, was not asked, or failed in writing (which the
/// host reports itself).
std::string RenameRefusal(std::u16string_view oldName, std::u16string_view newName);
/// The values the master file holds for its setup of that name, as the host last read or stored
/// them: what a reset brings back. Nothing when no master file is open, no setup has that name,
/// it was never saved, or its stored record cannot be read.
std::optional<Teskor::ZelPlatform::OrnSettings> SavedSettings(std::u16string_view name);
/// While set, the next save of name into the master file overwrites another session's newer
/// work instead of refusing it. Cleared by that save, or by an empty name.
void OverwriteOnNextSave(const std::u16string& name);

// --- Session ---------------------------------------------------------------------------------

/// Makes path the master file, creating it when missing. An open master file is closed first
/// (CloseMaster). Monitors receive OnMasterFileOpened. Throws DesignFileError; the previous
/// master file is then closed and none is open.
Teskor::ZelPlatform::ZelFile& OpenMaster(const std::filesystem::path& path);
/// Monitors receive OnMasterFileClosing, then the file is closed. Unsaved working copies are
/// dropped, except that setups whose save failed while closing, and those a Yes would have saved
/// when no one answered the question, go to a fresh recovery file beside the master file (in the
/// temporary folder when that cannot be written), a setups document that import brings back;
/// the host reports where. Does nothing when no master file is open.
void CloseMaster();
/// Monitors receive OnSessionRefresh. A master file of an older format that another session
/// has upgraded since it was opened is written from then on.
void Refresh();
/// The whole master file is checked beside the session from its opening, so that its first save
/// does not wait for it; from the check's verdict on, a damaged file takes no write. Waits for
/// that verdict: true when the file is whole or no master file is open. Tests and benchmarks
/// wait; a session never needs to.
bool AwaitMasterFileCheck();
/// While held, the whole-file check of a master file opened meanwhile waits before it begins, so
/// that a test sees the first save before any verdict. Releasing lets every waiting check go on.
void HoldMasterFileChecks(bool held);
/// Offers path as a design library from now on (opened read-only, never written). Throws
/// DesignFileError; a missing file is an error too.
Teskor::ZelPlatform::ZelFile& AddLibrary(const std::filesystem::path& path);
/// While on, the active model is a reference attachment.
void SetActiveModelIsReference(bool on);
/// How many session monitors are registered.
std::size_t MonitorCount();

// --- Question boxes ----------------------------------------------------------------------------

inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;
/// The answer of the next question box; unanswered questions get No.
void QueueAnswer(int answer);
struct Question {
  int dialogId = 0;
  std::u16string text;
  int iconType = 0;
  int answer = 0;
};
/// Every question asked while recording (RecordCalls) since the last reset, with its answer.
const std::vector<Question>& Questions();
/// Called after each question with what was asked and answered.
void SetQuestionObserver(std::function<void(const Question&)> observer);
/// What an asker returns when nobody gave an answer (input ended, the session was stopped).
inline constexpr int kNobodyAnswered = 0;
/// Asked for the answer of a question when none is queued (a person at the host's window);
/// returns kAnswerYes, kAnswerNo or kNobodyAnswered. Without one, such a question gets No.
/// A question nobody answered while the master file closes gets No, and the host keeps what a
/// Yes would have saved in a recovery file beside the master file.
void SetQuestionAsker(std::function<int(const Question&)> asker);

// --- What the module called ------------------------------------------------------------------

/// While on, the host keeps each call it receives in the call log and each question box in
/// Questions(). Off until a test asks, since a session makes calls without end.
void RecordCalls(bool on);
/// The host calls recorded since the last clear, one entry a call, e.g.
/// "OrnManager::RegisterManager", "OrnSetupManager::InitForFile", "RenderStoreManager::Save".
const std::vector<std::string>& CallLog();
void ClearCallLog();

/// Closes every file without notifications, forgets libraries, answers, questions, the call log
/// and the reference switch. Monitors and the recording switch stay as they are.
void ResetAll();

// --- Design files without the module -----------------------------------------------------------

struct StoredSetup {
  std::u16string name;
  bool valid = true;  // false when the stored record cannot be read
  Teskor::ZelPlatform::OrnSettings settings;
};
/// Stores a setup in the design file at path (created when missing) in one transaction,
/// replacing a setup of that name; what it replaces is kept as a version named action (for
/// example "audit fix"; 1 to 40 characters). Works whether or not the file is open; an open
/// file's store sees it as it would see a save. Throws DesignFileError.
void WriteSetup(const std::filesystem::path& path, const std::u16string& name,
                const Teskor::ZelPlatform::OrnSettings& settings,
                const std::string& action = "host write");
/// Stores every setup in the design file at path (created when missing) in one transaction,
/// replacing setups of the same names: all or nothing. Works whether or not the file is open, as
/// WriteSetup does. Throws SetupNameError (nothing stored), DesignFileError.
void WriteSetups(const std::filesystem::path& path, const std::vector<StoredSetup>& setups);

struct UpgradeResult {
  /// The format the file had; the current one when there was nothing to do.
  int fromVersion = 0;
  /// The copy of the file as it was, beside it; empty when there was nothing to do.
  std::filesystem::path backup;
  /// A line for each record that could not be carried over whole (the backup keeps it).
  std::vector<std::string> problems;
};
/// Converts a design file of an older format to the current one in one transaction, after
/// copying it beside itself ("tower.format2-backup.zel"). Also while the file is open. A damaged
/// or foreign file is refused untouched. Throws DesignFileError.
UpgradeResult UpgradeDesignFile(const std::filesystem::path& path);
/// Damages the stored record of name so that it loads with its valid flag clear. False when the
/// file holds no such setup.
bool InvalidateSetup(const std::filesystem::path& path, const std::u16string& name);
/// The setups stored in the file, in the host's order. Throws DesignFileError.
std::vector<StoredSetup> ReadSetups(const std::filesystem::path& path);

/// Sets one field of settings from its stored key (the view model's property name) and text
/// in the view model's form ("true", "-1", "0.500000", ...). False when the key is unknown or
/// the text is not a value of that field.
bool SetSettingFromText(Teskor::ZelPlatform::OrnSettings& settings, std::string_view key,
                        std::string_view text);
/// The stored keys of every field, in the record's order.
const std::vector<std::string>& SettingKeys();

// --- What the host's values mean ---------------------------------------------------------------

struct ValueLabel {
  std::uint64_t value = 0;
  const char* label = "";
};
struct LabelledSetting {
  const char* key = "";
  std::vector<ValueLabel> labels;
};
/// The renderer's names for the values of its enumerated settings, by stored key.
const std::vector<LabelledSetting>& EnumerationLabels();
/// The renderer's output channels: value is the channel's bit number in "Outputs".
const std::vector<ValueLabel>& OutputChannelLabels();

// --- Setups as text ------------------------------------------------------------------------------

/// Every field of settings as (stored key, text) in the record's order; the texts are lossless:
/// "true"/"false", decimal integers, doubles in the shortest form that reads back exactly.
std::vector<std::pair<std::string, std::string>> SettingTexts(
    const Teskor::ZelPlatform::OrnSettings& settings);

/// Writes the stored setups of those names from designFile to out as a setups document
/// (docs/render-setups.schema.json), replacing out whole. Throws DesignFileError, also for a name
/// the file does not hold or holds only as a damaged record; out is then left as it was.
void ExportSetups(const std::filesystem::path& designFile, const std::vector<std::u16string>& names,
                  const std::filesystem::path& out);

/// One thing wrong with a setups document, where it is.
struct ImportProblem {
  std::string file;
  std::size_t line = 0;
  /// What the problem concerns: "setups[2].settings.BlurPasses", "version", ...
  std::string property;
  std::string message;
  /// "FILE:LINE: PROPERTY: MESSAGE"
  std::string Text() const;
};
/// A document that cannot be imported; nothing of it was.
class ImportError : public std::runtime_error {
 public:
  explicit ImportError(std::vector<ImportProblem> problems, std::size_t unlisted = 0);
  /// In document order, the first thousand at most.
  const std::vector<ImportProblem>& Problems() const noexcept { return problems_; }
  /// How many more problems there are than Problems lists.
  std::size_t Unlisted() const noexcept { return unlisted_; }

 private:
  std::vector<ImportProblem> problems_;
  std::size_t unlisted_ = 0;
};
/// Which imports hold the values that library setups lock: into the session's master file only
/// (the workbench's import), or into any design file (a pipeline writing drawings directly).
enum class ImportLocks { InMasterFile, InAnyFile };
/// Checks the whole document in first, then stores its setups in designFile (created when
/// missing) in one transaction, all or nothing. Setups whose names designFile holds already are
/// problems unless replace. Returns the names stored, in document order. Throws ImportError with
/// every problem found (nothing stored), StandardsError when a setup would leave a value a
/// library setup locks changed without an override (nothing stored), DesignFileError.
std::vector<std::u16string> ImportSetups(const std::filesystem::path& designFile,
                                         const std::filesystem::path& in, bool replace,
                                         ImportLocks locks = ImportLocks::InMasterFile);

}  // namespace ornhost
