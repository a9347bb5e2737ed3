#include "host/store/ChangeSetTable.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <random>

#include "host/controls/HostControls.h"
#include "host/store/DesignFileLayout.h"
#include "host/store/DesignFileStatements.h"
#include "host/store/ProvenanceTable.h"
#include "host/store/StandardsTable.h"
#include "host/store/VersionTable.h"
#include "support/Utf.h"

namespace ornhost::detail {

namespace {

// Crockford's alphabet: no i, l, o or u.
constexpr char kIdLetters[] = "0123456789abcdefghjkmnpqrstvwxyz";

std::string ValueColumnCheck(const char* column) {
  return std::string(column) + " ANY CHECK (" + column + " IS NULL OR typeof(" + column +
         ") IN ('integer', 'real'))";
}

// The comments stay in the schema, for people reading the file with the sqlite3 tool.
std::vector<std::string> MakeLayOut() {
  std::string properties;
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    properties += (i == 0 ? "'" : ", '") + std::string(SettingKey(i)) + "'";
  }
  return {
      "CREATE TABLE change_sets ( -- each run of a batch tool that wrote this file\n"
      "  id TEXT PRIMARY KEY CHECK (length(id) BETWEEN 1 AND 32), -- sorts as they were made\n"
      "  made_at TEXT NOT NULL CHECK (made_at IS strftime('%Y-%m-%dT%H:%M:%SZ', made_at)), -- "
      "UTC\n"
      "  made_by TEXT NOT NULL CHECK (length(made_by) <= 256), -- the operating system's user\n"
      "  command TEXT NOT NULL CHECK (length(command) <= 100000) -- the command line\n"
      ") STRICT, WITHOUT ROWID",
      "CREATE TABLE change_set_setups ( -- each setup a change set touched\n"
      "  change_set TEXT NOT NULL, -- change_sets.id\n"
      "  position INTEGER NOT NULL, -- render_setups.position\n"
      "  name_before TEXT, -- NULL: the change set created it\n"
      "  name_after TEXT, -- NULL: the change set deleted it\n"
      "  standing_before TEXT NOT NULL, -- provenance, overlays and overrides, a line each\n"
      "  standing_after TEXT NOT NULL,\n"
      "  PRIMARY KEY (change_set, position)\n"
      ") STRICT, WITHOUT ROWID",
      "CREATE TABLE change_set_values ( -- each value a change set changed\n"
      "  change_set TEXT NOT NULL, -- change_sets.id\n"
      "  position INTEGER NOT NULL, -- change_set_setups.position\n"
      "  property TEXT NOT NULL CHECK (property IN (" +
          properties + ")),\n  " + ValueColumnCheck("old_value") +
          ", -- NULL: the setup was created\n  " + ValueColumnCheck("new_value") +
          ", -- NULL: the setup was deleted\n"
          "  PRIMARY KEY (change_set, position, property)\n"
          ") STRICT, WITHOUT ROWID",
      "CREATE TABLE setup_version_change_sets ( -- the change set that wrote a version\n"
      "  version INTEGER PRIMARY KEY, -- setup_versions.version\n"
      "  change_set TEXT NOT NULL -- change_sets.id; gone when that is forgotten\n"
      ") STRICT"};
}

void Escape(std::string& out, std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
}

// Fields of a line, tab-separated and unescaped; nothing when an escape is broken.
std::optional<std::vector<std::string>> Fields(std::string_view line) {
  std::vector<std::string> fields(1);
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\t') {
      fields.emplace_back();
    } else if (c != '\\') {
      fields.back() += c;
    } else if (++i < line.size() && (line[i] == '\\' || line[i] == 't' || line[i] == 'n')) {
      fields.back() += line[i] == 't' ? '\t' : line[i] == 'n' ? '\n' : '\\';
    } else {
      return std::nullopt;
    }
  }
  return fields;
}

void PutLibrarySetup(std::string& out, const char* kind, const Provenance& record) {
  out += kind;
  for (const std::string& field : {ornr::Utf16ToUtf8(record.libraryFile), record.libraryPath,
                                   ornr::Utf16ToUtf8(record.librarySetup), record.takenAt}) {
    out += '\t';
    Escape(out, field);
  }
  out += '\t';
  if (!record.governed) {
    out += '*';
  } else {
    const auto names = PropertyNames(*record.governed);
    for (std::size_t i = 0; i < names.size(); ++i) out += (i == 0 ? "" : ",") + names[i];
  }
  out += '\n';
  const PropertySet covered = record.governed.value_or(AllProperties());
  const auto texts = SettingTexts(record.base);
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (!covered.test(i)) continue;
    out += "value\t" + texts[i].first + '\t' + texts[i].second + '\n';
  }
}

std::optional<Provenance> LibrarySetupOf(const std::vector<std::string>& fields) {
  if (fields.size() != 6) return std::nullopt;
  Provenance record;
  record.libraryFile = ornr::Utf8ToUtf16(fields[1]);
  record.libraryPath = fields[2];
  record.librarySetup = ornr::Utf8ToUtf16(fields[3]);
  record.takenAt = fields[4];
  if (fields[5] != "*") {
    std::vector<std::string> names;
    std::string_view words = fields[5];
    while (!words.empty()) {
      const std::size_t comma = words.find(',');
      names.emplace_back(words.substr(0, comma));
      words = comma == std::string_view::npos ? std::string_view() : words.substr(comma + 1);
    }
    record.governed = PropertySetOf(names);
    if (!record.governed) return std::nullopt;
  }
  return record;
}

std::string Text(sqlite3_stmt* row, int column) {
  return std::string(ColumnText(row, column));
}

std::optional<std::u16string> OptionalName(sqlite3_stmt* row, int column) {
  if (sqlite3_column_type(row, column) == SQLITE_NULL) return std::nullopt;
  return ornr::Utf8ToUtf16(ColumnText(row, column));
}

void BindOptionalName(sqlite3_stmt* statement, int index,
                      const std::optional<std::u16string>& name) {
  if (!name) {
    sqlite3_bind_null(statement, index);
    return;
  }
  const std::string text = ornr::Utf16ToUtf8(*name);
  sqlite3_bind_text64(statement, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void BindOptionalValue(sqlite3_stmt* statement, int index,
                       const std::optional<StoredValue>& value) {
  if (value) {
    BindStoredValue(statement, index, *value);
  } else {
    sqlite3_bind_null(statement, index);
  }
}

}  // namespace

const std::vector<std::string>& ChangeSetsLayOut() {
  static const std::vector<std::string> statements = MakeLayOut();
  return statements;
}

std::string StandingText(const SetupStanding& standing) {
  std::string text;
  if (standing.origin) PutLibrarySetup(text, "origin", *standing.origin);
  for (const Provenance& overlay : standing.overlays) PutLibrarySetup(text, "overlay", overlay);
  for (const auto& [property, record] : standing.overrides) {
    text += "override";
    for (const std::string* field : {&property, &record.reason, &record.madeBy, &record.madeAt}) {
      text += '\t';
      Escape(text, *field);
    }
    text += '\n';
  }
  return text;
}

std::optional<SetupStanding> StandingOfText(std::string_view text) {
  SetupStanding standing;
  Provenance* last = nullptr;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    const auto fields = Fields(text.substr(0, end));
    text.remove_prefix(end + 1);
    if (!fields) return std::nullopt;
    const std::string& kind = fields->front();
    if (kind == "origin" || kind == "overlay") {
      auto record = LibrarySetupOf(*fields);
      if (!record || (kind == "origin" && (standing.origin || !standing.overlays.empty()))) {
        return std::nullopt;
      }
      last = kind == "origin" ? &standing.origin.emplace(std::move(*record))
                              : &standing.overlays.emplace_back(std::move(*record));
    } else if (kind == "value") {
      if (last == nullptr || fields->size() != 3 ||
          !SetSettingFromText(last->base, (*fields)[1], (*fields)[2])) {
        return std::nullopt;
      }
    } else if (kind == "override" && fields->size() == 5) {
      standing.overrides[(*fields)[1]] = {(*fields)[2], (*fields)[3], (*fields)[4]};
    } else {
      return std::nullopt;
    }
  }
  return standing;
}

std::string NewChangeSetId() {
  static std::mutex mutex;
  static std::mt19937_64 random(std::random_device{}());
  static std::uint64_t lastTime = 0;
  static std::uint64_t lastPart = 0;
  std::uint64_t time =
      static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count());
  std::uint64_t part = 0;
  {
    // 30 random bits part runs of one moment in different processes; within this one, an id of
    // the same moment (or of a clock set back) follows the last one.
    const std::lock_guard lock(mutex);
    if (time <= lastTime) {
      time = lastTime;
      part = lastPart + 1;
    } else {
      part = random() & ((std::uint64_t{1} << 29) - 1);
    }
    lastTime = time;
    lastPart = part;
  }
  std::string id;
  // 45 bits of milliseconds last until the year 3084.
  for (int shift = 40; shift >= 0; shift -= 5) id += kIdLetters[(time >> shift) & 31];
  for (int shift = 25; shift >= 0; shift -= 5) id += kIdLetters[(part >> shift) & 31];
  return id;
}

bool LooksLikeChangeSetId(std::string_view text) {
  return !text.empty() && text.size() <= 32 && std::all_of(text.begin(), text.end(), [](char c) {
    return c != '\0' && std::string_view(kIdLetters).find(c) != std::string_view::npos;
  });
}

std::vector<ChangeSet> ChangeSetTable::ReadAll(DesignFile& file) {
  std::vector<ChangeSet> all;
  if (file.version_ < kChangeSetsFormat) return all;
  std::map<std::string, std::size_t> byId;
  {
    Statement rows(file, "SELECT id, made_at, made_by, command FROM change_sets ORDER BY id DESC");
    while (rows.Step()) {
      sqlite3_stmt* row = rows.get();
      byId[Text(row, 0)] = all.size();
      all.push_back({{Text(row, 0), Text(row, 1), Text(row, 2), Text(row, 3)}, {}});
    }
  }
  std::map<std::pair<std::string, std::int64_t>, ChangeSetSetup*> setups;
  {
    Statement rows(file,
                   "SELECT change_set, position, name_before, name_after, standing_before,"
                   " standing_after FROM change_set_setups ORDER BY change_set, position");
    while (rows.Step()) {
      sqlite3_stmt* row = rows.get();
      const auto found = byId.find(Text(row, 0));
      if (found == byId.end()) continue;
      ChangeSetSetup& setup = all[found->second].setups.emplace_back();
      setup.position = sqlite3_column_int64(row, 1);
      setup.nameBefore = OptionalName(row, 2);
      setup.nameAfter = OptionalName(row, 3);
      setup.standingBefore = Text(row, 4);
      setup.standingAfter = Text(row, 5);
    }
  }
  // Pointers once every vector has its size.
  for (ChangeSet& changeSet : all) {
    for (ChangeSetSetup& setup : changeSet.setups) {
      setups[{changeSet.header.id, setup.position}] = &setup;
    }
  }
  Statement rows(file,
                 "SELECT change_set, position, property, old_value, new_value"
                 " FROM change_set_values");
  while (rows.Step()) {
    sqlite3_stmt* row = rows.get();
    const auto found = setups.find({Text(row, 0), sqlite3_column_int64(row, 1)});
    const auto field = SettingIndex(ColumnText(row, 2));
    if (found == setups.end() || !field) continue;
    ChangeSetValue value;
    value.field = *field;
    if (sqlite3_column_type(row, 3) != SQLITE_NULL) {
      value.before = StoredValueOf(sqlite3_column_value(row, 3));
    }
    if (sqlite3_column_type(row, 4) != SQLITE_NULL) {
      value.after = StoredValueOf(sqlite3_column_value(row, 4));
    }
    found->second->values.push_back(value);
  }
  for (auto& [key, setup] : setups) {
    std::sort(setup->values.begin(), setup->values.end(),
              [](const ChangeSetValue& a, const ChangeSetValue& b) { return a.field < b.field; });
  }
  return all;
}

std::optional<ChangeSet> ChangeSetTable::Read(DesignFile& file, std::string_view id) {
  std::optional<ChangeSet> found;
  for (ChangeSet& changeSet : ReadAll(file)) {
    if (changeSet.header.id == id) return std::move(changeSet);
    if (!changeSet.header.id.starts_with(id)) continue;
    // Two that begin alike: the id given names neither.
    if (found) return std::nullopt;
    found = std::move(changeSet);
  }
  return found;
}

void ChangeSetTable::Put(DesignFile& file, const ChangeSet& changeSet) {
  if (file.version_ < kChangeSetsFormat) {
    file.Refuse("its format keeps no change sets; \"upgrade\" converts it");
  }
  const ChangeSetHeader& header = changeSet.header;
  {
    Statement insert(
        file, "INSERT INTO change_sets (id, made_at, made_by, command) VALUES (?1, ?2, ?3, ?4)");
    insert.BindText(1, header.id)
        .BindText(2, header.madeAt)
        .BindText(3, header.madeBy)
        .BindText(4, header.command);
    insert.Step();
  }
  Statement setup(file,
                  "INSERT INTO change_set_setups (change_set, position, name_before, name_after,"
                  " standing_before, standing_after) VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
  Statement value(file,
                  "INSERT INTO change_set_values (change_set, position, property, old_value,"
                  " new_value) VALUES (?1, ?2, ?3, ?4, ?5)");
  for (const ChangeSetSetup& each : changeSet.setups) {
    setup.BindText(1, header.id).Bind(2, each.position);
    BindOptionalName(setup.get(), 3, each.nameBefore);
    BindOptionalName(setup.get(), 4, each.nameAfter);
    setup.BindText(5, each.standingBefore).BindText(6, each.standingAfter);
    setup.Step();
    for (const ChangeSetValue& changed : each.values) {
      value.BindText(1, header.id).Bind(2, each.position).BindText(3, SettingKey(changed.field));
      BindOptionalValue(value.get(), 4, changed.before);
      BindOptionalValue(value.get(), 5, changed.after);
      value.Step();
    }
  }
}

void ChangeSetTable::ForgetAll(DesignFile& file) {
  if (file.version_ < kChangeSetsFormat) return;
  for (const char* table :
       {"change_sets", "change_set_setups", "change_set_values", "setup_version_change_sets"}) {
    file.Exec(("DELETE FROM " + std::string(table)).c_str());
  }
}

bool ChangeSetTable::Forget(DesignFile& file, std::string_view id) {
  if (file.version_ < kChangeSetsFormat) return false;
  Transaction transaction(file);
  bool found = false;
  for (const char* sql : {"DELETE FROM change_sets WHERE id = ?1",
                          "DELETE FROM change_set_setups WHERE change_set = ?1",
                          "DELETE FROM change_set_values WHERE change_set = ?1",
                          "DELETE FROM setup_version_change_sets WHERE change_set = ?1"}) {
    Statement forget(file, sql);
    forget.BindText(1, id);
    forget.Step();
    if (!found) found = sqlite3_changes(file.db_) > 0;
    if (!found) return false;
  }
  transaction.Commit();
  return found;
}

ChangeSetRecorder::ChangeSetRecorder(DesignFile& file, ChangeSetHeader header)
    : file_(file), header_(std::move(header)) {
  file_.BeginBatch();
  if (file_.version_ < kChangeSetsFormat) {
    file_.RollbackBatch();
    file_.Refuse("its format keeps no change sets; \"upgrade\" converts it");
  }
  file_.changeSet_ = header_.id;
}

ChangeSetRecorder::~ChangeSetRecorder() {
  file_.changeSet_.clear();
  if (!done_) file_.RollbackBatch();
}

std::string StandingAt(DesignFile& file, std::int64_t position) {
  SetupStanding standing;
  standing.origin = ProvenanceTable::Read(file, position);
  StandardsOfSetup standards = StandardsTable::Read(file, position);
  standing.overlays = std::move(standards.overlays);
  standing.overrides = std::move(standards.standards.overrides);
  return StandingText(standing);
}

ChangeSetRecorder::Before ChangeSetRecorder::StateAt(std::int64_t position) {
  Before state;
  const auto record = file_.Read({position, 0, 0});
  if (!record) return state;
  state.name = record->name;
  state.values = file_.StateOf(*record).values;
  state.standing = StandingAt(file_, position);
  return state;
}

void ChangeSetRecorder::Touch(std::int64_t position) {
  if (before_.contains(position)) return;
  before_.emplace(position, StateAt(position));
  order_.push_back(position);
}

void ChangeSetRecorder::Created(std::int64_t position) {
  if (before_.contains(position)) return;
  before_.emplace(position, Before{});
  order_.push_back(position);
}

ChangeSet ChangeSetRecorder::Commit() {
  ChangeSet changeSet{header_, {}};
  for (const std::int64_t position : order_) {
    const Before& before = before_.at(position);
    const Before after = StateAt(position);
    if (!before.name && !after.name) continue;
    ChangeSetSetup setup;
    setup.position = position;
    setup.nameBefore = before.name;
    setup.nameAfter = after.name;
    setup.standingBefore = before.standing;
    setup.standingAfter = after.standing;
    for (std::size_t i = 0; i < kSettingCount; ++i) {
      ChangeSetValue value{i, std::nullopt, std::nullopt};
      if (before.name) value.before = before.values[i];
      if (after.name) value.after = after.values[i];
      if (value.before && value.after && SameStoredValue(*value.before, *value.after)) continue;
      setup.values.push_back(value);
    }
    if (setup.values.empty() && setup.nameBefore == setup.nameAfter &&
        setup.standingBefore == setup.standingAfter) {
      continue;
    }
    changeSet.setups.push_back(std::move(setup));
  }
  if (!changeSet.setups.empty()) ChangeSetTable::Put(file_, changeSet);
  file_.changeSet_.clear();
  file_.CommitBatch();
  done_ = true;
  return changeSet;
}

}  // namespace ornhost::detail
