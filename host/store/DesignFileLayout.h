// The tables of a design file, of this format and the older ones the host still reads.
#pragma once

#include <sqlite3.h>

#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "host/store/DesignFile.h"
#include "host/store/SettingsColumns.h"

namespace ornhost::detail {

/// The first layout that keeps a column per property; the ones before keep a text of them all.
inline constexpr int kColumnsVersion = 4;

/// The statements that lay out an empty file of the current format.
std::vector<std::string> LayOutColumns();
/// The marks table of format 4 and its one row.
extern const char* const kMarksTable;
std::string MarksRow(int version);
/// The header's marks, as PRAGMA statements.
std::string HeaderMarks(int version);
/// The table of setups of that format (4 or later).
std::string SetupsTable(int version);

using SchemaRow = std::tuple<std::string, std::string, std::string, std::string>;
/// The file's schema as SQLite records it, sorted; planner statistics left out.
std::vector<SchemaRow> SchemaOf(sqlite3* db);
/// Whether schema is what our own statements make for a file of that version.
bool IsKnownSchema(int version, const std::vector<SchemaRow>& schema);

std::string_view ColumnText(sqlite3_stmt* row, int column);
/// A value as SQLite holds it.
StoredValue StoredValueOf(sqlite3_value* value);
/// Every field from the row's columns first, first + 1, ... in the record's order.
void ReadStoredValues(sqlite3_stmt* row, int first, StoredValues& values);
/// Binds value at index; a value that is neither integer nor real binds NULL.
void BindStoredValue(sqlite3_stmt* statement, int index, const StoredValue& value);
/// Formats 1 to 3 keep names as UTF-16LE code units.
std::string NameBytes(std::u16string_view name);
inline constexpr const char* kNotWholeUtf16 = "its name is not whole UTF-16";
/// A record of formats 1 to 3 from a row of RecordSelect's columns.
SetupRecord OldRecordFrom(sqlite3_stmt* row);

}  // namespace ornhost::detail
