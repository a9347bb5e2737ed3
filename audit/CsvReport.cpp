// The report as CSV for spreadsheets: one row per setup and property that differs, one per setup
// that drifted without a property to show (its library setup gone, its record unreadable), one per
// locked value changed or overridden, one per file that could not be read whole and one per entry
// of a folder skipped.
#include "audit/Report.h"

namespace ornr::audit {

namespace {

constexpr const char* kHeader =
    "file,file_status,setup,state,property,change,here,base,library,library_file,library_setup,"
    "reason\r\n";

std::string Field(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

// A name or path a spreadsheet would take as a formula is kept as text.
std::string TextField(const std::string& text) {
  if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos) {
    return Field("'" + text);
  }
  return Field(text);
}

class CsvReport final : public Report {
 public:
  explicit CsvReport(const std::filesystem::path& path) : file_(path) { file_.Write(kHeader); }

  void File(const FileFinding& file) override {
    const std::string prefix = TextField(file.path) + "," + FileStatusKey(file.status) + ",";
    if (file.status != FileStatus::Read) {
      file_.Write(prefix + ",,,,,,,,," + TextField(file.reason) + "\r\n");
    }
    for (const SetupFinding& setup : file.setups) {
      if (!IsDrift(setup.state) && setup.state != SetupState::Unreadable) continue;
      const std::string row = prefix + TextField(setup.name) + "," + StateKey(setup.state) + ",";
      const std::string library =
          TextField(setup.libraryFile) + "," + TextField(setup.librarySetup) + ",";
      bool any = false;
      const bool sameName = setup.state == SetupState::SameNameDiffers;
      for (const PropertyFinding& property : setup.properties) {
        if (property.here == property.library) continue;
        any = true;
        file_.Write(row + property.property + "," +
                    (sameName ? "differs" : ornhost::DriftStateName(property.state)) + "," +
                    Field(property.here) + "," + Field(property.base) + "," +
                    Field(property.library) + "," + library + "\r\n");
      }
      if (!any) file_.Write(row + ",,,,," + library + TextField(setup.reason) + "\r\n");
    }
    for (const SetupFinding& setup : file.setups) LockRows(prefix, setup);
  }

  // After the file's drift rows: each locked value changed here or overridden, with its reasons.
  void LockRows(const std::string& prefix, const SetupFinding& setup) {
    for (const LockFinding& lock : setup.locks) {
      std::string reason = "locked: " + lock.reason;
      if (lock.override) reason = "overridden: " + lock.override->reason + "; " + reason;
      file_.Write(prefix + TextField(setup.name) + "," + StateKey(setup.state) + "," +
                  lock.property + "," + (lock.override ? "overridden" : "locked value changed") +
                  "," + Field(lock.here) + ",," + Field(lock.library) + "," +
                  TextField(lock.libraryFile) + "," + TextField(lock.librarySetup) + "," +
                  TextField(reason) + "\r\n");
    }
  }

  void Skipped(const SkippedEntry& entry) override {
    file_.Write(TextField(entry.path) + ",skipped,,,,,,,,,," + TextField(entry.reason) + "\r\n");
  }

  void End(const RunInfo& /*run*/, const Totals& totals) override {
    if (totals.partial) {
      file_.Write("# partial: stopped after " + std::to_string(totals.done) + " of " +
                  std::to_string(totals.expected) + " files\r\n");
    }
    file_.Commit();
  }

 private:
  ReportFile file_;
};

}  // namespace

std::unique_ptr<Report> MakeCsvReport(const std::filesystem::path& path) {
  return std::make_unique<CsvReport>(path);
}

}  // namespace ornr::audit
