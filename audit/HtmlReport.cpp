// The report as one self-contained web page: the totals, a chart of the states of the drawings
// with the most findings, the properties that drift most, each drawing's details and the command
// that made it. Inline CSS and SVG only: nothing is fetched, and it prints.
#include <cstdio>
#include <cstring>

#include "audit/Report.h"
#include "audit/ReportStyle.h"
#include "audit/TerminalReport.h"
#include "support/OneLine.h"

namespace ornr::audit {

namespace {

using ornhost::DriftState;

// The order in which states stack in bars and legends: from fine to needing work.
constexpr SetupState kBarOrder[] = {
    SetupState::InStep,          SetupState::SameNameEqual, SetupState::NotFromLibrary,
    SetupState::LibraryNewer,    SetupState::ChangedHere,   SetupState::BothChanged,
    SetupState::SameNameDiffers, SetupState::LibraryGone,   SetupState::Unreadable};

// Names and paths as the table shows them (control characters and bytes that are not UTF-8 as
// escapes), then safe in text and attributes.
std::string Escape(std::string_view text) {
  const std::string shown = OneLineText(text);
  std::string out;
  out.reserve(shown.size());
  for (const char c : shown) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// "2026-01-15T09:30:00Z" -> "2026-01-15 09:30 UTC".
std::string ReadableTime(const std::string& iso) {
  if (iso.size() != 20 || iso[10] != 'T' || iso[19] != 'Z') return iso;
  return iso.substr(0, 10) + " " + iso.substr(11, 5) + " UTC";
}

// 12345 -> "12,345": figures people read.
std::string Figure(std::size_t n) {
  std::string digits = std::to_string(n);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(i, ",");
  return digits;
}

std::string Plural(std::size_t n, const char* one, const char* many) {
  return Figure(n) + " " + (n == 1 ? one : many);
}

std::string Percent(std::size_t part, std::size_t whole) {
  if (whole == 0) return "0%";
  char text[16];
  std::snprintf(text, sizeof text, "%.0f%%", 100.0 * static_cast<double>(part) / whole);
  return text;
}

// A bar of the counts in kBarOrder, scaled so that full is the whole width.
std::string StateBar(const StateCounts& counts, std::size_t full, const std::string& label) {
  std::string described;
  for (const SetupState state : kBarOrder) {
    const std::size_t n = counts[static_cast<std::size_t>(state)];
    if (n == 0) continue;
    described += (described.empty() ? "" : ", ") + Figure(n) + " " + StateLabel(state);
  }
  if (described.empty()) described = "no setups";
  std::string svg =
      "<svg class=\"bar\" viewBox=\"0 0 1000 10\" preserveAspectRatio=\"none\" "
      "role=\"img\" aria-label=\"" +
      Escape(label + ": " + described) + "\">";
  double x = 0;
  const double scale = full > 0 ? 1000.0 / static_cast<double>(full) : 0;
  for (const SetupState state : kBarOrder) {
    const std::size_t n = counts[static_cast<std::size_t>(state)];
    if (n == 0) continue;
    const double width = static_cast<double>(n) * scale;
    char rect[160];
    std::snprintf(rect, sizeof rect,
                  "<rect class=\"%s\" x=\"%.2f\" y=\"0\" width=\"%.2f\" height=\"10\">",
                  StateClass(state).c_str(), x, width);
    svg += rect;
    svg +=
        "<title>" + Escape(std::string(StateLabel(state)) + ": " + Figure(n)) + "</title></rect>";
    x += width;
  }
  return svg + "</svg>";
}

std::string Legend(const StateCounts& counts) {
  std::string html = "<ul class=\"legend\">";
  for (const SetupState state : kBarOrder) {
    const std::size_t n = counts[static_cast<std::size_t>(state)];
    if (n == 0) continue;
    html += "<li><span class=\"swatch " + StateClass(state) + "\"></span>" +
            Escape(StateLabel(state)) + " <strong>" + Figure(n) + "</strong></li>";
  }
  return html + "</ul>";
}

// A table that may scroll sideways on a narrow screen: reachable and named for the keyboard.
std::string TableWrap(const std::string& label) {
  return "<div class=\"table-wrap\" tabindex=\"0\" role=\"region\" aria-label=\"" + Escape(label) +
         "\">";
}

std::string StateBadge(SetupState state) {
  return "<span class=\"state\"><span class=\"swatch " + StateClass(state) + "\"></span>" +
         Escape(StateLabel(state)) + "</span>";
}

std::string PropertyItem(const PropertyFinding& property, bool sameName) {
  const std::string name = "<code>" + Escape(property.property) + "</code> ";
  const auto value = [](const std::string& text) {
    return "<span class=\"mono\">" + Escape(text) + "</span>";
  };
  if (sameName) {
    return name + value(property.here) + " here, " + value(property.library) +
           " <span class=\"side\">in library</span>";
  }
  switch (property.state) {
    case DriftState::ChangedHere:
      return name + "<span class=\"was\">" + value(property.base) + " →</span> " +
             value(property.here) + " <span class=\"side\">here</span>";
    case DriftState::ChangedInLibrary:
      return name + "<span class=\"was\">" + value(property.base) + " →</span> " +
             value(property.library) + " <span class=\"side\">in library</span>";
    case DriftState::Conflict:
      return name + "<span class=\"was\">" + value(property.base) + " →</span> " +
             value(property.here) + " <span class=\"side\">here</span>, " +
             value(property.library) + " <span class=\"side\">in library</span>";
    case DriftState::ChangedAlike:
      return name + "<span class=\"was\">" + value(property.base) + " →</span> " +
             value(property.here) + " <span class=\"side\">on both sides</span>";
    case DriftState::Unchanged:
      break;
  }
  return name + value(property.here);
}

std::string LockItem(const LockFinding& lock) {
  std::string text = "<code>" + Escape(lock.property) + "</code> <span class=\"mono\">" +
                     Escape(lock.here) + "</span> <span class=\"side\">here</span>, " +
                     "<span class=\"mono\">" + Escape(lock.library) + "</span> " +
                     "<span class=\"side\">in library</span>: ";
  if (!lock.override) {
    return text + "<strong>locked value changed</strong> (locked by " + Escape(lock.librarySetup) +
           ": " + Escape(lock.reason) + ")";
  }
  text += "<strong>overridden</strong>";
  if (!lock.override->madeBy.empty()) {
    text += " by " + Escape(lock.override->madeBy) + " on " +
            Escape(ReadableTime(lock.override->madeAt));
  }
  return text + ": " + Escape(lock.override->reason) + " (locked by " + Escape(lock.librarySetup) +
         ": " + Escape(lock.reason) + ")";
}

std::string LocksPutBack(const SetupFix& fix, bool apply) {
  std::string text = std::string(apply ? "put back " : "would put back ") +
                     Plural(fix.locks.size(), "locked value", "locked values");
  if (!fix.overridesDropped.empty()) {
    text += " and drop " + Plural(fix.overridesDropped.size(), "override", "overrides");
  }
  return text;
}

std::string FixCell(const SetupFix& fix, bool apply) {
  switch (fix.action) {
    case FixAction::Merge: {
      std::string text = apply ? "merged: " : "would merge: ";
      const std::string locks =
          fix.locks.empty() && fix.overridesDropped.empty() ? "" : "; " + LocksPutBack(fix, apply);
      if (fix.take.empty())
        return Escape(text + "the merge base moves to the library's values" + locks);
      text += "takes " + Plural(fix.take.size(), "value", "values") + " from the library";
      if (!fix.keep.empty())
        text += ", keeps " + Plural(fix.keep.size(), "local change", "local changes");
      return Escape(text + locks);
    }
    case FixAction::Locks:
      return Escape(LocksPutBack(fix, apply));
    case FixAction::Undecided:
      return Escape(Plural(fix.undecided.size(), "conflict", "conflicts") +
                    " to decide (--take library|local); left as it is");
    case FixAction::NoLibrary:
      return "nothing to merge from";
    case FixAction::NothingToDo:
      return "nothing to do";
    case FixAction::None:
      break;
  }
  return "";
}

// Spill files for what comes before the end is known: anonymous, gone when closed.
class Spill {
 public:
  Spill() : file_(std::tmpfile()) {
    if (file_ == nullptr)
      throw ReportError(std::string("cannot make a temporary file: ") + std::strerror(errno));
  }
  ~Spill() { std::fclose(file_); }
  Spill(const Spill&) = delete;
  Spill& operator=(const Spill&) = delete;
  void Write(std::string_view text) { std::fwrite(text.data(), 1, text.size(), file_); }
  bool Empty() const { return std::ftell(file_) == 0; }
  void CopyTo(ReportFile& out) {
    std::rewind(file_);
    char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file_)) > 0;) {
      out.Write(std::string_view(buffer, n));
    }
    if (std::ferror(file_)) throw ReportError("cannot read back a temporary file of the report");
  }

 private:
  std::FILE* file_;
};

class HtmlReport final : public Report {
 public:
  HtmlReport(const std::filesystem::path& path, bool fix, bool apply)
      : file_(path), apply_(apply), fixColumn_(fix) {}

  void File(const FileFinding& file) override {
    if (!HasFindings(file)) {
      QuietRow(file);
      return;
    }
    std::string html = "<article class=\"drawing\" id=\"d" + std::to_string(++articles_) +
                       "\"><header><h3>" + Escape(file.path) + "</h3>" + StatusBadge(file) +
                       "</header>";
    if (!file.reason.empty()) {
      html += "<p class=\"reason" +
              std::string(file.status == FileStatus::OlderFormat ? " warn" : "") + "\">" +
              Escape(file.reason) + "</p>";
    }
    if (file.status != FileStatus::Unreadable) {
      html += "<p class=\"note\">" + Plural(file.setups.size(), "setup", "setups") + Counted(file) +
              "</p>";
      html += SetupTable(file);
    }
    if (file.fix == FixOutcome::Skipped) {
      html += "<p class=\"note\">Fix skipped: " + Escape(file.fixReason) + "</p>";
    }
    details_.Write(html + "</article>\n");
  }

  void Skipped(const SkippedEntry& entry) override {
    ++skippedRows_;
    skipped_.Write("<tr><td class=\"mono\">" + Escape(entry.path) + "</td><td>" +
                   Escape(entry.reason) + "</td></tr>\n");
  }

  void End(const RunInfo& run, const Totals& totals) override {
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<meta name=\"color-scheme\" content=\"light dark\">\n"
        "<meta name=\"generator\" content=\"" +
        Escape(AuditVersionWord()) +
        "\">\n"
        "<title>Render setup audit, " +
        Escape(run.startedLocal) + "</title>\n<style>" + std::string(ReportStyleSheet()) +
        "</style>\n</head>\n<body>\n<header>\n"
        "<h1>Render setup audit</h1>\n<p class=\"meta\">" +
        AuditedLine(run) + ", " + Escape(run.startedLocal) + "</p>\n<p class=\"meta\">" +
        LibrariesLine(run) + "</p>\n";
    if (totals.partial) {
      html += "<p class=\"banner\" role=\"status\">Partial report: stopped" +
              (totals.stopReason.empty() ? "" : " by " + Escape(totals.stopReason)) + " after " +
              Figure(totals.done) + " of " + Figure(totals.expected) + " files.</p>\n";
    }
    html += Verdict(totals);
    html += "</header>\n<main>\n";
    html += TotalsSection(run, totals) + ChartSection(totals) + PropertiesSection(totals);
    html += "<section aria-labelledby=\"drawings\">\n<h2 id=\"drawings\">Drawings</h2>\n";
    if (articles_ == 0) html += "<p>No drawing has findings.</p>\n";
    file_.Write(html);
    details_.CopyTo(file_);
    if (quietRows_ > 0) {
      file_.Write("<h3 class=\"quiet\">" + Escape(Plural(quietRows_, "drawing", "drawings")) +
                  " without findings</h3>\n" + TableWrap("Drawings without findings") +
                  "<table><thead><tr>"
                  "<th scope=\"col\">Drawing</th><th scope=\"col\" class=\"num\">Setups</th>"
                  "<th scope=\"col\" class=\"num\">In step</th>"
                  "<th scope=\"col\" class=\"num\">Same name, equal</th>"
                  "<th scope=\"col\" class=\"num\">Not from a library</th></tr></thead><tbody>\n");
      quiet_.CopyTo(file_);
      file_.Write("</tbody></table></div>\n");
    }
    if (skippedRows_ > 0) {
      file_.Write("<h3 class=\"quiet\">" + Escape(Plural(skippedRows_, "entry", "entries")) +
                  " skipped</h3>\n" + TableWrap("Entries skipped") +
                  "<table><thead><tr><th scope=\"col\">Entry</th>"
                  "<th scope=\"col\">Why it was not read</th></tr></thead><tbody>\n");
      skipped_.CopyTo(file_);
      file_.Write("</tbody></table></div>\n");
    }
    file_.Write("</section>\n</main>\n" + Footer(run) + "</body>\n</html>\n");
    file_.Commit();
  }

 private:
  static std::string AuditVersionWord() { return "rsm-audit " ORNR_VERSION; }

  static bool HasFindings(const FileFinding& file) {
    if (file.status != FileStatus::Read) return true;
    for (const SetupFinding& setup : file.setups) {
      if (IsDrift(setup.state) || setup.state == SetupState::Unreadable) return true;
      if (setup.fix.action == FixAction::Merge || setup.fix.action == FixAction::Undecided ||
          setup.fix.action == FixAction::Locks || !setup.locks.empty())
        return true;
    }
    return false;
  }

  static std::string StatusBadge(const FileFinding& file) {
    switch (file.status) {
      case FileStatus::Unreadable:
        return "<span class=\"status bad\">unreadable</span>";
      case FileStatus::Damaged:
        return "<span class=\"status bad\">damaged</span>";
      case FileStatus::OlderFormat:
        return "<span class=\"status warn\">older format " + std::to_string(file.format) +
               "</span>";
      case FileStatus::Read:
        break;
    }
    std::size_t drifted = 0;
    for (const SetupFinding& setup : file.setups) drifted += IsDrift(setup.state) ? 1 : 0;
    return "<span class=\"status\">" + Plural(drifted, "setup drifted", "setups drifted") +
           "</span>";
  }

  static std::string Counted(const FileFinding& file) {
    std::string text;
    for (const SetupState state : kBarOrder) {
      const std::size_t n = file.counts[static_cast<std::size_t>(state)];
      if (n == 0) continue;
      text += (text.empty() ? ": " : ", ") + Figure(n) + " " + StateLabel(state);
    }
    return Escape(text);
  }

  std::string SetupTable(const FileFinding& file) const {
    std::string rows;
    for (const SetupFinding& setup : file.setups) {
      const bool shown = IsDrift(setup.state) || setup.state == SetupState::Unreadable ||
                         setup.fix.action == FixAction::Merge ||
                         setup.fix.action == FixAction::Locks || !setup.locks.empty();
      if (!shown) continue;
      rows +=
          "<tr><th scope=\"row\">" + Escape(setup.name) + "</th><td data-label=\"State\">" +
          StateBadge(setup.state) +
          (setup.conflicts > 0 ? "<br><span class=\"side\">" +
                                     Plural(setup.conflicts, "conflict", "conflicts") + "</span>"
                               : "") +
          "</td><td data-label=\"Library setup\">";
      if (!setup.libraryFile.empty()) {
        rows += Escape(setup.librarySetup) + " <span class=\"side\" title=\"" +
                Escape(setup.libraryPath) + "\">in " +
                Escape(std::filesystem::path(setup.libraryFile).filename().string()) + "</span>";
        if (!setup.takenAt.empty()) {
          rows +=
              "<br><span class=\"side\">taken " + Escape(ReadableTime(setup.takenAt)) + "</span>";
        }
      }
      rows += "</td><td data-label=\"What differs\">";
      if (!setup.reason.empty()) rows += Escape(setup.reason);
      const bool sameName = setup.state == SetupState::SameNameDiffers;
      std::string items;
      for (const PropertyFinding& property : setup.properties) {
        items += "<li>" + PropertyItem(property, sameName) + "</li>";
      }
      if (!items.empty()) rows += "<ul class=\"props\">" + items + "</ul>";
      std::string locks;
      for (const LockFinding& lock : setup.locks) locks += "<li>" + LockItem(lock) + "</li>";
      if (!locks.empty()) rows += "<ul class=\"props\">" + locks + "</ul>";
      rows += "</td>";
      if (fixColumn_) {
        rows += "<td class=\"fixcell\" data-label=\"Fix\">" + FixCell(setup.fix, apply_) + "</td>";
      }
      rows += "</tr>\n";
    }
    if (rows.empty()) return "";
    return TableWrap("Setups of " + file.path) +
           "<table class=\"setups\"><thead><tr><th scope=\"col\">Setup</th>"
           "<th scope=\"col\">State</th><th scope=\"col\">Library setup</th>"
           "<th scope=\"col\">What differs</th>" +
           std::string(fixColumn_ ? "<th scope=\"col\">Fix</th>" : "") + "</tr></thead><tbody>\n" +
           rows + "</tbody></table></div>";
  }

  void QuietRow(const FileFinding& file) {
    ++quietRows_;
    const auto n = [&](SetupState state) {
      return Figure(file.counts[static_cast<std::size_t>(state)]);
    };
    quiet_.Write("<tr><td class=\"mono\">" + Escape(file.path) + "</td><td class=\"num\">" +
                 Figure(file.setups.size()) + "</td><td class=\"num\">" + n(SetupState::InStep) +
                 "</td><td class=\"num\">" + n(SetupState::SameNameEqual) +
                 "</td><td class=\"num\">" + n(SetupState::NotFromLibrary) + "</td></tr>\n");
  }

  static std::string AuditedLine(const RunInfo& run) {
    std::string text = "Of ";
    for (std::size_t i = 0; i < run.paths.size(); ++i) {
      text += (i == 0 ? "" : ", ") + std::string("<span class=\"mono\">") + Escape(run.paths[i]) +
              "</span>";
    }
    return text + " in <span class=\"mono\">" + Escape(run.folder) + "</span>";
  }

  static std::string LibrariesLine(const RunInfo& run) {
    if (run.libraries.empty())
      return "No libraries given: setups are held against the libraries they were taken from.";
    std::string text = run.libraries.size() == 1 ? "Library: " : "Libraries: ";
    for (std::size_t i = 0; i < run.libraries.size(); ++i) {
      text += (i > 0 ? ", " : "") + std::string("<span class=\"mono\" title=\"") +
              Escape(run.libraries[i].path) + "\">" + Escape(run.libraries[i].file) + "</span>";
    }
    return text;
  }

  // The answer a reader looks for first, in one sentence, coloured by what it asks of them.
  static std::string Verdict(const Totals& totals) {
    const std::size_t notWhole = totals.files[static_cast<std::size_t>(FileStatus::Damaged)] +
                                 totals.files[static_cast<std::size_t>(FileStatus::Unreadable)] +
                                 totals.files[static_cast<std::size_t>(FileStatus::OlderFormat)];
    std::string text;
    std::string kind = "good";
    if (totals.drawingsWithDrift == 0) {
      text = totals.Listed() == 0 ? "No design file found."
                                  : "Every drawing is in step with the libraries.";
    } else {
      kind = "warn";
      text = Figure(totals.drawingsWithDrift) + " of " +
             Plural(totals.Listed(), "drawing has", "drawings have") +
             " drifted from the libraries.";
    }
    if (totals.locksChanged > 0) {
      kind = "warn";
      text +=
          " " + Plural(totals.locksChanged, "locked value was", "locked values were") + " changed.";
    }
    if (notWhole > 0) {
      kind = "bad";
      text += " " + Plural(notWhole, "file", "files") + " could not be read whole.";
    }
    return "<p class=\"verdict " + kind + "\">" + Escape(text) + "</p>\n";
  }

  static std::string Card(const std::string& figure, const std::string& label,
                          const std::string& more) {
    return "<div class=\"card\"><div class=\"figure\">" + figure + "</div><div class=\"label\">" +
           label + "</div>" + (more.empty() ? "" : "<div class=\"note\">" + more + "</div>") +
           "</div>";
  }

  static std::string TotalsSection(const RunInfo& run, const Totals& totals) {
    const auto f = [&](FileStatus status) {
      return totals.files[static_cast<std::size_t>(status)];
    };
    const auto n = [&](SetupState state) { return totals.states[static_cast<std::size_t>(state)]; };
    std::size_t drifted = 0;
    for (std::size_t i = 0; i < kSetupStateCount; ++i) {
      if (IsDrift(static_cast<SetupState>(i))) drifted += totals.states[i];
    }
    std::string problems;
    for (const FileStatus status :
         {FileStatus::Damaged, FileStatus::Unreadable, FileStatus::OlderFormat}) {
      if (f(status) == 0) continue;
      problems +=
          (problems.empty() ? "" : ", ") + Figure(f(status)) + " " + FileStatusLabel(status);
    }
    std::string html =
        "<section aria-labelledby=\"totals\">\n<h2 id=\"totals\">Totals</h2>\n<div "
        "class=\"cards\">";
    html +=
        Card(Figure(totals.Listed()), "drawings", Figure(totals.drawingsWithDrift) + " with drift");
    html += Card(Figure(totals.setups), "setups",
                 Figure(n(SetupState::InStep)) + " in step (" +
                     Percent(n(SetupState::InStep), totals.setups) + ")");
    html += Card(Figure(drifted), "setups drifted",
                 Figure(n(SetupState::BothChanged)) + " changed on both sides");
    html += Card(
        Figure(f(FileStatus::Damaged) + f(FileStatus::Unreadable) + f(FileStatus::OlderFormat)),
        "files not read whole", problems.empty() ? "none" : Escape(problems));
    if (totals.ShowsLocks()) {
      html += Card(Figure(totals.locksChanged), "locked values changed",
                   Figure(totals.overridden) + " overridden" +
                       (run.strict ? ", violations with --strict" : "") + ", of " +
                       Figure(totals.lockedValues) + " locked");
    }
    html += "</div>\n";
    html +=
        StateBar(totals.states, totals.setups, "All setups") + "\n" + Legend(totals.states) + "\n";
    std::string seen = "Seen " + Plural(totals.done, "file", "files") + ": " +
                       Plural(totals.Listed(), "design file", "design files");
    if (totals.librariesSkipped > 0) {
      seen += ", " + Plural(totals.librariesSkipped, "library", "libraries") + " left out";
    }
    if (totals.otherFiles > 0)
      seen += ", " + Plural(totals.otherFiles, "other file", "other files");
    if (totals.skipped > 0) seen += ", " + Plural(totals.skipped, "entry", "entries") + " skipped";
    html += "<p class=\"note\">" + Escape(seen) + ".</p>\n";
    if (run.Fixes()) {
      std::string fix = std::string(run.apply ? "Fix applied: " : "Fix (dry run): ") +
                        (run.apply ? "changed " : "would change ") +
                        Plural(totals.setupsFixed, "setup", "setups") + " in " +
                        Plural(totals.filesFixed, "drawing", "drawings");
      if (run.fixLocks) {
        fix += "; " + std::string(run.apply ? "put back " : "would put back ") +
               Plural(totals.locksRestored, "locked value", "locked values");
      }
      if (totals.filesSkipped > 0)
        fix += "; " + Plural(totals.filesSkipped, "file", "files") + " skipped";
      if (totals.setupsUndecided > 0) {
        fix += "; " + Plural(totals.setupsUndecided, "setup has", "setups have") +
               " conflicts to decide";
      }
      html += "<p>" + Escape(fix) + ".</p>\n";
    }
    return html + "</section>\n";
  }

  static std::string ChartSection(const Totals& totals) {
    std::string html =
        "<section aria-labelledby=\"chart\">\n<h2 id=\"chart\">States per drawing</h2>\n";
    if (totals.chart.empty())
      return html +
             "<p>Every setup of every drawing is in step or not from a library.</p>\n</section>\n";
    std::size_t widest = 1;
    for (const DrawingBar& bar : totals.chart) {
      std::size_t setups = 0;
      for (const std::size_t n : bar.counts) setups += n;
      widest = std::max(widest, setups);
    }
    html += "<dl class=\"chart\">\n";
    for (const DrawingBar& bar : totals.chart) {
      std::size_t setups = 0;
      for (const std::size_t n : bar.counts) setups += n;
      std::string count = Plural(setups, "setup", "setups");
      if (bar.status != FileStatus::Read) {
        count = setups == 0 ? std::string(FileStatusLabel(bar.status)) + ", no setup read"
                            : count + ", " + FileStatusLabel(bar.status);
      }
      html += "<dt>" + Escape(bar.path) + "</dt><dd>" + StateBar(bar.counts, widest, bar.path) +
              "</dd><dd class=\"count\">" + Escape(count) + "</dd>\n";
    }
    html += "</dl>\n";
    const std::size_t withFindings = totals.drawingsWithDrift;
    if (withFindings > totals.chart.size()) {
      html += "<p class=\"note\">The " + Figure(totals.chart.size()) +
              " drawings with the most findings of " + Figure(withFindings) +
              " with drift; every drawing is listed below.</p>\n";
    }
    html += Legend(totals.states);
    return html + "</section>\n";
  }

  static std::string PropertiesSection(const Totals& totals) {
    constexpr std::size_t kShown = 15;
    std::string html =
        "<section aria-labelledby=\"properties\">\n<h2 id=\"properties\">Properties that drift "
        "most</h2>\n";
    const auto sorted = totals.PropertiesByDrift();
    if (sorted.empty()) return html + "<p>No property differs from its library.</p>\n</section>\n";
    const std::size_t most = sorted.front().second.Total();
    html +=
        TableWrap("Table of the properties that drift most") +
        "<table class=\"drift\"><thead><tr><th scope=\"col\">Property</th>"
        "<th scope=\"col\" class=\"num\">Setups</th><th scope=\"col\" class=\"num\">Changed "
        "here</th>"
        "<th scope=\"col\" class=\"num\">Newer in library</th><th scope=\"col\" "
        "class=\"num\">Both</th>"
        "<th scope=\"col\" class=\"num\">Same name</th><th scope=\"col\" class=\"barcell\"><span "
        "class=\"sr-only\">Share</span></th>"
        "</tr></thead><tbody>\n";
    for (std::size_t i = 0; i < sorted.size() && i < kShown; ++i) {
      const auto& [name, counts] = sorted[i];
      StateCounts parts{};
      parts[static_cast<std::size_t>(SetupState::ChangedHere)] = counts.changedHere;
      parts[static_cast<std::size_t>(SetupState::LibraryNewer)] = counts.changedInLibrary;
      parts[static_cast<std::size_t>(SetupState::BothChanged)] = counts.conflict;
      parts[static_cast<std::size_t>(SetupState::SameNameDiffers)] = counts.sameName;
      html += "<tr><th scope=\"row\"><code>" + Escape(name) + "</code></th><td class=\"num\">" +
              Figure(counts.Total()) + "</td><td class=\"num\">" + Figure(counts.changedHere) +
              "</td><td class=\"num\">" + Figure(counts.changedInLibrary) +
              "</td><td class=\"num\">" + Figure(counts.conflict) + "</td><td class=\"num\">" +
              Figure(counts.sameName) + "</td><td class=\"barcell\">" +
              StateBar(parts, most, name) + "</td></tr>\n";
    }
    html += "</tbody></table></div>\n";
    if (sorted.size() > kShown) {
      html += "<p class=\"note\">" + Figure(sorted.size() - kShown) +
              " more properties differ somewhere; the JSON and CSV reports list them all.</p>\n";
    }
    return html + "</section>\n";
  }

  static std::string Footer(const RunInfo& run) {
    return "<footer>\n<p>Made by this command, in <span class=\"mono\">" + Escape(run.folder) +
           "</span>:</p>\n<pre><code>" + Escape(ShellCommand(run.command)) + "</code></pre>\n<p>" +
           Escape(AuditVersionWord()) + ", started " + Escape(run.startedAt) + ", finished " +
           Escape(run.finishedAt) + ". Exit status " + std::to_string(run.exitStatus) +
           ".</p>\n</footer>\n";
  }

  ReportFile file_;
  Spill details_;
  Spill quiet_;
  Spill skipped_;
  std::size_t articles_ = 0;
  std::size_t quietRows_ = 0;
  std::size_t skippedRows_ = 0;
  bool apply_ = false;
  bool fixColumn_ = false;
};

}  // namespace

std::unique_ptr<Report> MakeHtmlReport(const std::filesystem::path& path, bool fix, bool apply) {
  return std::make_unique<HtmlReport>(path, fix, apply);
}

}  // namespace ornr::audit
