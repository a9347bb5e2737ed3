// One design file on disk: a SQLite 3 database that holds a table of render setups.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/OrnSettings.h"

struct sqlite3;
struct sqlite3_stmt;

namespace ornhost::detail {

/// "ORN1": marks a SQLite database as a design file.
inline constexpr std::uint32_t kDesignFileApplicationId = 0x4F524E31;
/// The layout this host writes. A file of an older layout opens read-only until `upgrade`
/// converts it; one of a newer layout is refused. 2 added the revision of each record, 3 the
/// provenance of setups; 4 keeps each property in a typed column of its own and marks the file
/// in a table too; 5 keeps the versions of each setup and never gives a position out twice; 6
/// keeps office standards: scopes, locks, notes, overrides and overlays; 7 keeps change sets.
inline constexpr int kDesignFileSchemaVersion = 7;

/// What replaced a stored state of a setup, as the version that keeps the state names it.
namespace actions {
inline constexpr const char* kSave = "save";
inline constexpr const char* kForcedSave = "save --force";
inline constexpr const char* kSaveAtClose = "save at close";
inline constexpr const char* kUpdateFromLibrary = "update from library";
inline constexpr const char* kRename = "rename";
inline constexpr const char* kDelete = "delete";
inline constexpr const char* kReset = "reset";
inline constexpr const char* kUndelete = "undelete";
inline constexpr const char* kImport = "import";
inline constexpr const char* kHostWrite = "host write";
inline constexpr const char* kAuditFix = "audit fix";
inline constexpr const char* kAuditUndo = "audit undo";
inline constexpr const char* kAuditDeploy = "audit deploy";
inline constexpr const char* kScope = "scope";
inline constexpr const char* kLock = "lock";
inline constexpr const char* kUnlock = "unlock";
inline constexpr const char* kNote = "note";
}  // namespace actions

/// What a version changed besides values.
struct VersionMark {
  /// "scope", "lock", "note", "override", "overlay".
  std::string kind;
  /// The value concerned; empty for the whole setup.
  std::string property;
  /// Empty for none: a scope as its words ("all" for every value), a reason, a note, the
  /// library setup of an overlay as "SETUP in FILE".
  std::string before;
  std::string after;
  bool operator==(const VersionMark&) const = default;
};

/// Run inside a write's transaction once the record is at position: writes what goes with it
/// and returns what that changed, for the version the write keeps.
using WriteAlongside = std::function<std::vector<VersionMark>(std::int64_t position)>;

/// Where a session's copy of a setup stands in the file: the record it was read from or written
/// to, and that record's revision then. Another session's write changes the revision.
struct RowRef {
  std::int64_t position = 0;
  std::int64_t revision = 0;
  /// Of the name and values as read or written: plain SQL edits change no revision.
  std::uint64_t digest = 0;
};

struct VersionState;
class FileCheck;

struct SetupRecord {
  /// Orders the setups: the host's order is ascending position.
  RowRef row;
  std::u16string name;
  /// Nothing when the stored record cannot be read; problem then says why.
  std::optional<Teskor::ZelPlatform::OrnSettings> settings;
  std::string problem;
};

/// What an upgrade did.
struct UpgradeReport {
  int fromVersion = 0;
  /// The copy of the file as it was; empty when the file had the current layout already.
  std::filesystem::path backup;
  /// One line for each record that could not be carried over whole (it is in the backup).
  std::vector<std::string> problems;
};

/// Every failure throws ornhost::DesignFileError with a message that names the file and says in
/// plain words what is wrong. Every write is one transaction with full synchronisation, so a kill
/// leaves the file before or after it. Writes re-read the record they replace inside their
/// transaction and refuse to overwrite another session's newer work. A write that replaces a
/// stored setup keeps what it replaced as a version of it, inside that transaction, named by its
/// action (see actions).
class DesignFile {
 public:
  enum class Access { ReadOnly, ReadWrite, WriteExisting };

  /// Opens and checks the file. ReadWrite creates a missing file (and lays out an empty one);
  /// ReadOnly and WriteExisting refuse a missing file. Anything but a regular file is refused
  /// before SQLite opens it. A file that is refused has not been written to.
  DesignFile(const std::filesystem::path& path, Access access);
  ~DesignFile();
  DesignFile(const DesignFile&) = delete;
  DesignFile& operator=(const DesignFile&) = delete;

  /// Every record in host order. A damaged part of the file ends the list early; ReadProblem
  /// then says where, and the file is not written any more.
  std::vector<SetupRecord> Load();
  /// The same, each record handed to each as it is read; each may take what it holds.
  void Load(const std::function<void(SetupRecord&)>& each);
  /// What Load could not read, in one line, or empty.
  const std::string& ReadProblem() const noexcept { return readProblem_; }
  /// Why nothing is written to the file, known since it was opened (an older format), or empty.
  const std::string& Refusal() const noexcept { return refusal_; }
  int Version() const noexcept { return version_; }
  /// The record at row.position as the file holds it now; nothing when it is gone.
  std::optional<SetupRecord> Read(RowRef row);

  /// A new record at a position never given out before, with what alongside writes. Throws when
  /// the file holds that name already.
  RowRef Insert(std::u16string_view name, const Teskor::ZelPlatform::OrnSettings& settings,
                const WriteAlongside& alongside = {});
  /// Writes over the record at row, and what alongside writes, in one transaction; the version
  /// it keeps marks what alongside changed (a version is kept for those marks even when the
  /// values are the same). Refused when another session changed, renamed or deleted it since
  /// row was read, unless force: then this session's copy wins (stored anew when deleted).
  RowRef Update(RowRef row, std::u16string_view name,
                const Teskor::ZelPlatform::OrnSettings& settings, bool force,
                std::string_view action = actions::kSave, const WriteAlongside& alongside = {});
  RowRef Rename(RowRef row, std::u16string_view newName);
  /// Removes the record at row; nothing to do when another session removed it already. Its
  /// versions and provenance stay while the file keeps deleted setups, so that it can be
  /// brought back.
  void Remove(RowRef row);
  /// Stores name, over the record of that name when there is one: the host's own tools.
  RowRef Upsert(std::u16string_view name, const Teskor::ZelPlatform::OrnSettings& settings,
                std::string_view action = actions::kHostWrite);
  /// Stores every record in one transaction, as Upsert would one by one; alongside, when given,
  /// writes what goes with each record inside that transaction. All or nothing.
  std::vector<RowRef> PutAll(
      const std::vector<std::pair<std::u16string, Teskor::ZelPlatform::OrnSettings>>& records,
      const std::function<void(std::size_t index, std::int64_t position)>& alongside = {},
      std::string_view action = actions::kImport);
  struct Rewrite {
    /// The record as it was read.
    RowRef row;
    std::u16string name;
    Teskor::ZelPlatform::OrnSettings settings;
  };
  /// Writes over every record at its row in one transaction, keeping what each replaces as a
  /// version of action; alongside, when given, writes what goes with each record inside that
  /// transaction. All or nothing: refused whole when another session changed, renamed or deleted
  /// any of them since it was read. A record that holds its new values already is not written.
  void UpdateAll(const std::vector<Rewrite>& rewrites, std::string_view action,
                 const std::function<void(std::size_t index, std::int64_t position)>& alongside);
  /// Keeps unsaved, a working copy that a reset throws away, as a version of the setup stored at
  /// row; nothing when the file no longer holds it or holds these values.
  void KeepUnsaved(RowRef row, const Teskor::ZelPlatform::OrnSettings& unsaved);
  /// Stores the setup deleted from position again, at its place, under name, with the values and
  /// provenance it had, once check (when given) found nothing wrong with the record inside the
  /// same transaction (check throws to refuse). Refused when the file holds name, when no deleted
  /// setup was at position or when its values no longer read.
  SetupRecord Undelete(std::int64_t position, std::u16string_view name,
                       const std::function<void(const SetupRecord& record)>& check = {});
  /// Cuts the settings record of that name so that it no longer reads; false when there is none.
  bool Damage(std::u16string_view name);
  /// Converts a file of an older layout to the current one in one transaction, after copying it
  /// beside itself. Does nothing to a file of the current layout.
  UpgradeReport Upgrade();
  /// Checks the whole file beside the session from now on (on a copy of it, on a thread of its
  /// own) instead of before the first write, which then checks only what grows with the setups,
  /// not with their history. From the check's verdict on, a damaged file takes no write. A file
  /// of an older layout is checked once another session has upgraded it.
  void CheckInBackground();
  /// Waits for that check: empty when the file is whole or no check runs, else what is wrong.
  std::string AwaitCheck();
  /// A file of an older layout at open that another session has upgraded since is written from
  /// now on: reads the file's marks again and takes its layout up. Every write does it first.
  /// Throws when the file is no longer a design file this host reads.
  void FollowUpgrade();

  /// Begins one transaction that every write joins until CommitBatch or RollbackBatch: each write
  /// is then a savepoint inside it, undone alone when it fails, and nothing reaches the file
  /// before CommitBatch. Waits for the file and checks it as a first write does. Throws
  /// DesignFileError, with nothing begun.
  void BeginBatch();
  /// Throws DesignFileError, with everything since BeginBatch rolled back.
  void CommitBatch();
  /// Undoes every write since BeginBatch; nothing to do outside one.
  void RollbackBatch() noexcept;
  bool InBatch() const noexcept { return inBatch_; }

 private:
  // The tables beside the setups' own, in this room too, run in its statements and transactions.
  friend class ProvenanceTable;
  friend class StandardsTable;
  friend class VersionTable;
  friend class ChangeSetTable;
  friend class ChangeSetRecorder;
  class Statement;
  class Transaction;
  struct Marks;
  /// SQLite's busy handler: looks again every moment until the busy timeout has passed.
  static int WaitForLock(void* file, int attempt);
  /// Before a write: after writing back to back for a while, leaves the file free for a moment,
  /// for a waiting session.
  void TakeTurn();
  [[noreturn]] void Fail() const;
  [[noreturn]] void Refuse(const std::string& reason) const;
  void Exec(const char* sql);
  std::int64_t QueryInteger(const char* sql);
  void Harden();
  void CheckOrLayOut(bool writable);
  /// Once a session: the file passes quick_check and holds only our layout, and its marks are
  /// whole. Before every write: the check beside the session found nothing.
  void CheckBeforeFirstWrite();
  /// Whole, or only the tables that grow with the setups while the rest is checked beside.
  void CheckIntegrityAndSchema(bool whole);
  void AddVersions();
  /// Format 5 to 6: the tables of office standards, added empty.
  void AddStandards();
  /// Format 6 to 7: the tables of change sets, added empty.
  void AddChangeSets();
  void ConvertRecords(UpgradeReport& report);
  /// Reads records from a statement over the columns of RecordSelect().
  template <typename Each>
  void ReadRecords(Statement& statement, Each&& each);
  std::string RecordSelect(const char* where) const;
  /// RecordSelect by position (?1) or by name (?1), kept prepared.
  const char* KeptRecordSelect(bool byName);
  std::optional<SetupRecord> ReadWhere(const char* where, std::int64_t position,
                                       std::u16string_view name);
  sqlite3_stmt* Prepared(const char* sql);
  /// Without a position, at one never given out before.
  RowRef Write(std::optional<std::int64_t> position, std::u16string_view name,
               const Teskor::ZelPlatform::OrnSettings& settings);
  /// The name and the values of record as the version tables keep them.
  VersionState StateOf(const SetupRecord& record);
  /// After a write over replaced: keeps it as a version of the action, with marks, inside the
  /// transaction.
  void KeepReplaced(const SetupRecord& replaced, std::u16string_view name,
                    const Teskor::ZelPlatform::OrnSettings& settings, std::string_view action,
                    const std::vector<VersionMark>& marks = {});

  std::string path_;
  std::string label_;
  sqlite3* db_ = nullptr;
  std::int64_t openedBytes_ = 0;  // the file's size when it was opened
  int version_ = kDesignFileSchemaVersion;
  bool checked_ = false;
  bool inBatch_ = false;
  /// The change set whose batch is open: the versions written meanwhile carry its id.
  std::string changeSet_;
  /// The header lost its marks (a restored .dump) or the marks table its row.
  bool marksToRestore_ = false;
  /// Deleted setups past the time the file keeps them were dropped in this session.
  bool expiredDropped_ = false;
  std::vector<std::pair<const char*, sqlite3_stmt*>> prepared_;
  std::string recordSelect_[2];
  int recordSelectVersion_ = 0;
  std::string refusal_;
  std::string readProblem_;
  bool checkInBackground_ = false;
  std::unique_ptr<FileCheck> background_;
  std::chrono::milliseconds busyTimeout_{5000};
  std::chrono::steady_clock::time_point waitingSince_;
  /// When this connection last let go of the write lock, and when its writes back to back began.
  std::chrono::steady_clock::time_point released_;
  std::chrono::steady_clock::time_point turnStart_;
};

}  // namespace ornhost::detail
