#include "host/store/StandardsTable.h"

#include <sqlite3.h>

#include <algorithm>

#include "host/controls/HostControls.h"
#include "host/store/DesignFileLayout.h"
#include "host/store/DesignFileStatements.h"
#include "host/store/SettingsColumns.h"
#include "host/store/VersionTable.h"
#include "support/Utf.h"

using Teskor::ZelPlatform::OrnSettings;

namespace ornhost::detail {

namespace {

// "'DoShadows', 'Stereo', ...": what a property column of these tables may hold.
const std::string& PropertyList() {
  static const std::string list = [] {
    std::string text;
    for (std::size_t i = 0; i < kSettingCount; ++i) {
      text += (i == 0 ? "'" : ", '") + std::string(SettingKey(i)) + "'";
    }
    return text;
  }();
  return list;
}

constexpr const char* kUtcCheck = "IS strftime('%Y-%m-%dT%H:%M:%SZ', ";

// The comments stay in the schema, for people reading the file with the sqlite3 tool.
std::vector<std::string> MakeLayOut() {
  const std::string properties =
      "property TEXT NOT NULL CHECK (property IN (" + PropertyList() + "))";
  return {
      "CREATE TABLE setup_scopes ( -- the values a setup governs as a library setup; none: all\n"
      "  position INTEGER NOT NULL, -- render_setups.position\n  " +
          properties + ",\n  PRIMARY KEY (position, property)\n) STRICT, WITHOUT ROWID",
      "CREATE TABLE setup_locks ( -- governed values a library setup locks, and why\n"
      "  position INTEGER NOT NULL, -- render_setups.position\n  " +
          properties +
          ",\n  reason TEXT NOT NULL CHECK (length(reason) BETWEEN 1 AND 1000),\n"
          "  PRIMARY KEY (position, property)\n) STRICT, WITHOUT ROWID",
      "CREATE TABLE setup_notes ( -- a setup's description (property '') and reasons for values\n"
      "  position INTEGER NOT NULL, -- render_setups.position\n"
      "  property TEXT NOT NULL CHECK (property = '' OR property IN (" +
          PropertyList() +
          ")),\n"
          "  note TEXT NOT NULL CHECK (length(note) BETWEEN 1 AND 4000),\n"
          "  PRIMARY KEY (position, property)\n) STRICT, WITHOUT ROWID",
      "CREATE TABLE setup_overrides ( -- locked values a setup deviates from on purpose\n"
      "  position INTEGER NOT NULL, -- render_setups.position\n  " +
          properties +
          ",\n  reason TEXT NOT NULL CHECK (length(reason) BETWEEN 1 AND 1000),\n"
          "  made_by TEXT NOT NULL CHECK (length(made_by) <= 256), -- who saved it\n"
          "  made_at TEXT NOT NULL CHECK (made_at " +
          kUtcCheck +
          "made_at)), -- when, UTC\n"
          "  PRIMARY KEY (position, property)\n) STRICT, WITHOUT ROWID",
      "CREATE TABLE setup_overlays ( -- library setups applied to a setup, in order\n"
      "  position INTEGER NOT NULL, -- render_setups.position\n"
      "  layer INTEGER NOT NULL CHECK (layer >= 1), -- the order applied; the highest wins\n"
      "  library_file TEXT NOT NULL, -- the library's file name as the panel shows it\n"
      "  library_path TEXT NOT NULL, -- its absolute path then\n"
      "  library_setup TEXT NOT NULL CHECK (length(library_setup) BETWEEN 1 AND 254),\n"
      "  taken_at TEXT NOT NULL, -- when, UTC\n"
      "  PRIMARY KEY (position, layer)\n) STRICT",
      "CREATE TABLE setup_overlay_values ( -- the governed values an overlay gave, its base\n"
      "  position INTEGER NOT NULL,\n  layer INTEGER NOT NULL,\n  " +
          properties +
          ",\n  value TEXT NOT NULL, -- in a form that reads back exactly\n"
          "  PRIMARY KEY (position, layer, property)\n) STRICT, WITHOUT ROWID",
      "CREATE TABLE setup_provenance_scope ( -- what a library setup governed when taken; none: "
      "all\n"
      "  position INTEGER NOT NULL, -- setup_provenance.position\n  " +
          properties + ",\n  PRIMARY KEY (position, property)\n) STRICT, WITHOUT ROWID",
      "CREATE TABLE setup_version_marks ( -- what a version changed besides values\n"
      "  version INTEGER NOT NULL, -- setup_versions.version\n"
      "  kind TEXT NOT NULL CHECK (kind IN ('scope', 'lock', 'note', 'override', 'overlay')),\n"
      "  property TEXT NOT NULL, -- the value concerned; '' for the whole setup\n"
      "  old_text TEXT NOT NULL, -- before; '' for none\n"
      "  new_text TEXT NOT NULL, -- after; '' for none\n"
      "  PRIMARY KEY (version, kind, property)\n) STRICT, WITHOUT ROWID"};
}

// Every table keyed by a setup's position, with what removes a setup's rows from it.
constexpr const char* kForget[] = {
    "DELETE FROM setup_scopes WHERE position = ?1",
    "DELETE FROM setup_locks WHERE position = ?1",
    "DELETE FROM setup_notes WHERE position = ?1",
    "DELETE FROM setup_overrides WHERE position = ?1",
    "DELETE FROM setup_overlays WHERE position = ?1",
    "DELETE FROM setup_overlay_values WHERE position = ?1",
};

std::string StandardsText(sqlite3_stmt* row, int column) {
  return std::string(ColumnText(row, column));
}

// Reads the rows of every table, one setup or all (position 0).
template <typename Statement>
void ReadInto(DesignFile& file, std::int64_t position,
              std::map<std::int64_t, StandardsOfSetup>& all) {
  const std::string where = position != 0 ? " WHERE position = ?1" : "";
  const auto each = [&](const std::string& sql, const auto& take) {
    Statement rows(file, sql);
    if (position != 0) rows.Bind(1, position);
    while (rows.Step()) take(rows.get(), all[sqlite3_column_int64(rows.get(), 0)]);
  };
  each("SELECT position, property FROM setup_scopes" + where,
       [](sqlite3_stmt* row, StandardsOfSetup& setup) {
         const auto index = SettingIndex(ColumnText(row, 1));
         if (!index) return;
         if (!setup.standards.scope) setup.standards.scope.emplace();
         setup.standards.scope->set(*index);
       });
  each("SELECT position, property, reason FROM setup_locks" + where,
       [](sqlite3_stmt* row, StandardsOfSetup& setup) {
         setup.standards.locks[StandardsText(row, 1)] = StandardsText(row, 2);
       });
  each("SELECT position, property, note FROM setup_notes" + where,
       [](sqlite3_stmt* row, StandardsOfSetup& setup) {
         if (ColumnText(row, 1).empty()) {
           setup.standards.description = StandardsText(row, 2);
         } else {
           setup.standards.notes[StandardsText(row, 1)] = StandardsText(row, 2);
         }
       });
  each("SELECT position, property, reason, made_by, made_at FROM setup_overrides" + where,
       [](sqlite3_stmt* row, StandardsOfSetup& setup) {
         setup.standards.overrides[StandardsText(row, 1)] =
             OverrideRecord{StandardsText(row, 2), StandardsText(row, 3), StandardsText(row, 4)};
       });
  // Overlays by layer, then their values into each.
  std::map<std::int64_t, std::map<std::int64_t, std::size_t>> layerIndex;
  each(
      "SELECT position, layer, library_file, library_path, library_setup, taken_at FROM "
      "setup_overlays" +
          where + " ORDER BY position, layer",
      [&](sqlite3_stmt* row, StandardsOfSetup& setup) {
        Provenance overlay;
        overlay.libraryFile = ornr::Utf8ToUtf16(ColumnText(row, 2));
        overlay.libraryPath = StandardsText(row, 3);
        overlay.librarySetup = ornr::Utf8ToUtf16(ColumnText(row, 4));
        overlay.takenAt = StandardsText(row, 5);
        overlay.governed.emplace();
        layerIndex[sqlite3_column_int64(row, 0)][sqlite3_column_int64(row, 1)] =
            setup.overlays.size();
        setup.overlays.push_back(std::move(overlay));
      });
  each("SELECT position, layer, property, value FROM setup_overlay_values" + where,
       [&](sqlite3_stmt* row, StandardsOfSetup& setup) {
         const auto layers = layerIndex.find(sqlite3_column_int64(row, 0));
         if (layers == layerIndex.end()) return;
         const auto layer = layers->second.find(sqlite3_column_int64(row, 1));
         const auto index = SettingIndex(ColumnText(row, 2));
         if (layer == layers->second.end() || !index) return;
         Provenance& overlay = setup.overlays[layer->second];
         // A value that does not read back is no part of the base.
         if (SetSettingFromText(overlay.base, ColumnText(row, 2), ColumnText(row, 3))) {
           overlay.governed->set(*index);
         }
       });
}

}  // namespace

const std::vector<std::string>& StandardsLayOut() {
  static const std::vector<std::string> statements = MakeLayOut();
  return statements;
}

std::map<std::int64_t, StandardsOfSetup> StandardsTable::ReadAll(DesignFile& file) {
  std::map<std::int64_t, StandardsOfSetup> all;
  if (file.version_ < kStandardsFormat) return all;
  ReadInto<Statement>(file, 0, all);
  return all;
}

StandardsOfSetup StandardsTable::Read(DesignFile& file, std::int64_t position) {
  std::map<std::int64_t, StandardsOfSetup> one;
  if (file.version_ < kStandardsFormat || position == 0) return {};
  ReadInto<Statement>(file, position, one);
  const auto found = one.find(position);
  return found != one.end() ? found->second : StandardsOfSetup{};
}

std::string StandardsTable::Stamp(DesignFile& file) {
  Statement version(file, "PRAGMA data_version");
  version.Step();
  return std::to_string(sqlite3_column_int64(version.get(), 0)) + "/" +
         std::to_string(sqlite3_total_changes64(file.db_)) + "/" + std::to_string(file.version_);
}

void StandardsTable::Forget(DesignFile& file, std::int64_t position) {
  if (file.version_ < kStandardsFormat) return;
  for (const char* sql : kForget) {
    Statement forget(file, sql, true);
    forget.Bind(1, position);
    forget.Step();
  }
}

void StandardsTable::PutOverrides(DesignFile& file, std::int64_t position,
                                  const std::map<std::string, OverrideRecord>& overrides) {
  if (file.version_ < kStandardsFormat) {
    if (overrides.empty()) return;
    file.Refuse("its format keeps no overrides; \"upgrade\" converts it");
  }
  {
    Statement forget(file, kForget[3], true);
    forget.Bind(1, position);
    forget.Step();
  }
  Statement insert(file,
                   "INSERT INTO setup_overrides (position, property, reason, made_by, made_at)"
                   " VALUES (?1, ?2, ?3, ?4, ?5)",
                   true);
  for (const auto& [property, record] : overrides) {
    insert.Bind(1, position)
        .BindText(2, property)
        .BindText(3, record.reason)
        .BindText(4, record.madeBy)
        .BindText(5, record.madeAt);
    insert.Step();
  }
}

void StandardsTable::PutOverlays(DesignFile& file, std::int64_t position,
                                 const std::vector<Provenance>& overlays) {
  if (file.version_ < kStandardsFormat) {
    if (overlays.empty()) return;
    file.Refuse("its format keeps no overlays; \"upgrade\" converts it");
  }
  for (const char* sql : {kForget[4], kForget[5]}) {
    Statement forget(file, sql, true);
    forget.Bind(1, position);
    forget.Step();
  }
  Statement layer(file,
                  "INSERT INTO setup_overlays (position, layer, library_file, library_path,"
                  " library_setup, taken_at) VALUES (?1, ?2, ?3, ?4, ?5, ?6)",
                  true);
  Statement value(file,
                  "INSERT INTO setup_overlay_values (position, layer, property, value)"
                  " VALUES (?1, ?2, ?3, ?4)",
                  true);
  for (std::size_t n = 0; n < overlays.size(); ++n) {
    const Provenance& overlay = overlays[n];
    const auto number = static_cast<std::int64_t>(n + 1);
    layer.Bind(1, position)
        .Bind(2, number)
        .BindText(3, ornr::Utf16ToUtf8(overlay.libraryFile))
        .BindText(4, overlay.libraryPath)
        .BindText(5, ornr::Utf16ToUtf8(overlay.librarySetup))
        .BindText(6, overlay.takenAt);
    layer.Step();
    const PropertySet covered = overlay.governed.value_or(AllProperties());
    const auto texts = SettingTexts(overlay.base);
    for (std::size_t i = 0; i < texts.size(); ++i) {
      if (!covered.test(i)) continue;
      value.Bind(1, position)
          .Bind(2, number)
          .BindText(3, texts[i].first)
          .BindText(4, texts[i].second);
      value.Step();
    }
  }
}

void StandardsTable::Put(DesignFile& file, std::int64_t position, const StandardsOfSetup& setup) {
  const SetupStandards& standards = setup.standards;
  if (file.version_ < kStandardsFormat) {
    if (standards.Empty() && setup.overlays.empty()) return;
    file.Refuse("its format keeps no office standards; \"upgrade\" converts it");
  }
  for (const char* sql : {kForget[0], kForget[1], kForget[2]}) {
    Statement forget(file, sql, true);
    forget.Bind(1, position);
    forget.Step();
  }
  if (standards.scope) {
    Statement insert(file, "INSERT INTO setup_scopes (position, property) VALUES (?1, ?2)", true);
    for (const std::string& property : PropertyNames(*standards.scope)) {
      insert.Bind(1, position).BindText(2, property);
      insert.Step();
    }
  }
  {
    Statement insert(
        file, "INSERT INTO setup_locks (position, property, reason) VALUES (?1, ?2, ?3)", true);
    for (const auto& [property, reason] : standards.locks) {
      insert.Bind(1, position).BindText(2, property).BindText(3, reason);
      insert.Step();
    }
  }
  {
    Statement insert(file, "INSERT INTO setup_notes (position, property, note) VALUES (?1, ?2, ?3)",
                     true);
    if (!standards.description.empty()) {
      insert.Bind(1, position).BindText(2, "").BindText(3, standards.description);
      insert.Step();
    }
    for (const auto& [property, note] : standards.notes) {
      if (note.empty()) continue;
      insert.Bind(1, position).BindText(2, property).BindText(3, note);
      insert.Step();
    }
  }
  PutOverrides(file, position, standards.overrides);
  PutOverlays(file, position, setup.overlays);
}

std::vector<VersionMark> StandardsTable::Change(
    DesignFile& file, std::u16string_view name,
    const std::function<std::vector<VersionMark>(StandardsOfSetup&)>& change,
    std::string_view action) {
  Transaction transaction(file);
  if (file.version_ < kStandardsFormat) {
    file.Refuse("its format keeps no office standards; \"upgrade\" converts it");
  }
  const auto holder = file.ReadWhere("name = ?1", 0, name);
  if (!holder) file.Refuse("it holds no setup \"" + ornr::Utf16ToUtf8(name) + "\"");
  StandardsOfSetup standards = Read(file, holder->row.position);
  const std::vector<VersionMark> marks = change(standards);
  if (marks.empty()) return marks;
  Put(file, holder->row.position, standards);
  const VersionState state = file.StateOf(*holder);
  VersionTable::KeepReplaced(file, holder->row.position, state, state, action, marks);
  transaction.Commit();
  return marks;
}

}  // namespace ornhost::detail
