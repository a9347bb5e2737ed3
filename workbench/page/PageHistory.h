// What the page shows of the master file's history: a setup's versions, the setups deleted from
// it, and any two setups or versions value by value. Asks the host: the user-interface thread's
// alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ornr::workbench {

/// {"name", "deleted", "versions": [{number, madeAt, action, madeBy, name, nameAfter, changes:
/// [[property, before, after], ...]}, ...]} newest first, or {"error"} with why there is none.
std::string HistoryJson(const std::string& name);

/// The setups deleted from the master file that it keeps, the most recent of each name, most
/// recently deleted first: [{name, deletedAt, deletedBy, versions}]; [] without a master file.
std::string DeletedJson();

/// One side of a comparison as the page names it: a master-file setup as it is now (unsaved
/// edits too) or one of its versions (version > 0), or a library's setup by the file it is listed
/// under.
struct DiffSide {
  std::string group;  // "master" or "library"
  std::string library;
  std::string name;
  std::int64_t version = 0;
};
/// {"rows": [[property, a, b], ...]} for every property in the record's order, texts lossless as
/// the host writes them, or {"error"} with why a side cannot be shown.
std::string DiffJson(const DiffSide& a, const DiffSide& b);

}  // namespace ornr::workbench
