#include "audit/TerminalReport.h"

#include <cstdio>

#include "support/OneLine.h"

namespace ornr::audit {

namespace {

using ornhost::DriftState;

// Properties listed on a setup's line; the files reports list them all.
constexpr std::size_t kPropertiesShown = 5;

// What a name holds that could move the cursor or ring the bell is escaped with the whole line.
std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

std::string Count(std::size_t n) {
  return n == 0 ? "." : std::to_string(n);
}

std::string Column(const std::string& text, std::size_t width) {
  return text.size() >= width ? text + " " : std::string(width - text.size(), ' ') + text + " ";
}

std::string Left(const std::string& text, std::size_t width) {
  return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ') + " ";
}

std::string Plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

const char* FileState(const FileFinding& file) {
  switch (file.status) {
    case FileStatus::Unreadable:
      return "unreadable";
    case FileStatus::Damaged:
      return "damaged";
    case FileStatus::OlderFormat:
      return "older";
    case FileStatus::Read:
      break;
  }
  return file.Drifted() ? "drift" : "ok";
}

class TerminalReport final : public Report {
 public:
  TerminalReport(Console& console, std::vector<std::string> reportFiles)
      : console_(console), reportFiles_(std::move(reportFiles)) {}

  void File(const FileFinding& file) override {
    Head();
    const auto n = [&](SetupState state) { return file.counts[static_cast<std::size_t>(state)]; };
    const bool counted = file.status != FileStatus::Unreadable;
    const std::size_t other =
        n(SetupState::SameNameEqual) + n(SetupState::NotFromLibrary) + n(SetupState::Unreadable);
    std::string line = Left(FileState(file), 10);
    if (counted) {
      line += Column(std::to_string(file.setups.size()), 6) +
              Column(Count(n(SetupState::InStep)), 5) +
              Column(Count(n(SetupState::LibraryNewer)), 5) +
              Column(Count(n(SetupState::ChangedHere)), 5) +
              Column(Count(n(SetupState::BothChanged)), 5) +
              Column(Count(n(SetupState::LibraryGone)), 5) +
              Column(Count(n(SetupState::SameNameDiffers)), 5) + Column(Count(other), 5);
    } else {
      line += NotCounted();
    }
    Out(line + " " + file.path);
    if (!file.reason.empty()) Out("  " + file.reason);
    for (const SetupFinding& setup : file.setups) SetupLines(setup);
    FixLine(file);
  }

  void Skipped(const SkippedEntry& entry) override {
    Head();
    Out(Left("skipped", 10) + NotCounted() + " " + entry.path);
    Out("  " + entry.reason);
  }

  void End(const RunInfo& run, const Totals& totals) override {
    const auto f = [&](FileStatus status) {
      return totals.files[static_cast<std::size_t>(status)];
    };
    if (totals.partial) {
      Out("stopped" + (totals.stopReason.empty() ? "" : " by " + totals.stopReason) + " after " +
          std::to_string(totals.done) + " of " + std::to_string(totals.expected) +
          " files: the totals and reports are partial");
    }
    std::string files = "totals: " + Plural(totals.Listed(), "design file", "design files");
    std::string statuses;
    for (const FileStatus status :
         {FileStatus::OlderFormat, FileStatus::Damaged, FileStatus::Unreadable}) {
      if (f(status) == 0) continue;
      statuses += (statuses.empty() ? "" : ", ") + std::to_string(f(status)) + " " +
                  FileStatusLabel(status);
    }
    if (!statuses.empty()) files += " (" + statuses + ")";
    files += ", drift in " + std::to_string(totals.drawingsWithDrift);
    if (totals.librariesSkipped > 0) {
      files += "; " + Plural(totals.librariesSkipped, "library", "libraries") + " skipped";
    }
    if (totals.otherFiles > 0) {
      files += "; " + Plural(totals.otherFiles, "other file", "other files");
    }
    if (totals.skipped > 0) {
      files += "; " + Plural(totals.skipped, "entry", "entries") + " skipped";
    }
    Out(files);
    std::string setups = "        " + Plural(totals.setups, "setup", "setups");
    std::string parts;
    for (std::size_t i = 0; i < kSetupStateCount; ++i) {
      if (totals.states[i] == 0) continue;
      parts += (parts.empty() ? ": " : ", ") + std::to_string(totals.states[i]) + " " +
               StateLabel(static_cast<SetupState>(i));
    }
    Out(setups + parts);
    if (totals.ShowsLocks()) {
      std::string locks =
          "locks:  " + Plural(totals.lockedValues, "locked value", "locked values") + ", " +
          std::to_string(totals.locksChanged) + " changed, " + std::to_string(totals.overridden) +
          " overridden";
      if (run.strict && totals.overridden > 0) locks += " (violations with --strict)";
      Out(locks);
    }
    if (run.Fixes()) {
      const char* verb = run.apply ? "changed " : "would change ";
      std::string line = "fix: " + std::string(verb) +
                         Plural(totals.setupsFixed, "setup", "setups") + " in " +
                         Plural(totals.filesFixed, "design file", "design files");
      if (totals.filesSkipped > 0) {
        line += "; " + Plural(totals.filesSkipped, "file", "files") + " skipped";
      }
      if (run.fixLocks) {
        line += "; " + std::string(run.apply ? "put back " : "would put back ") +
                Plural(totals.locksRestored, "locked value", "locked values");
      }
      if (totals.setupsUndecided > 0) {
        line += "; " + Plural(totals.setupsUndecided, "setup has", "setups have") +
                " conflicts to decide (--take library|local)";
      }
      if (!run.apply && totals.setupsFixed > 0) line += "; --apply writes the changes";
      Out(line);
      if (run.apply && totals.filesFixed > 0 && !run.changeSet.empty()) {
        Out("change set: " + run.changeSet + " (--changes " + run.changeSet + " shows it, --undo " +
            run.changeSet + " takes it back)");
      }
    }
    for (const std::string& path : reportFiles_) {
      Out("report: " + path + (totals.partial ? " (partial)" : ""));
    }
  }

 private:
  // Every line whole, escaped as the workbench's transcript is: a name or reason can hold
  // anything a file system allows.
  void Out(const std::string& line) { console_.Out(OneLineText(line)); }

  void Head() {
    if (headed_) return;
    Out(Left("STATE", 10) + Column("SETUPS", 6) + Column("STEP", 5) + Column("NEWER", 5) +
        Column("HERE", 5) + Column("BOTH", 5) + Column("GONE", 5) + Column("NAME", 5) +
        Column("OTHER", 5) + " FILE");
    headed_ = true;
  }
  static std::string NotCounted() { return Column("-", 6) + std::string(7 * 6, ' '); }

  void SetupLines(const SetupFinding& setup) {
    DriftLine(setup);
    for (const LockFinding& lock : setup.locks) {
      std::string line = "    " + lock.property + " " + lock.here + " here, " + lock.library +
                         " in " + Quoted(lock.librarySetup) + " of " + Quoted(lock.libraryFile) +
                         ": ";
      if (lock.override) {
        line += "overridden";
        if (!lock.override->madeBy.empty()) {
          line += " by " + lock.override->madeBy + " on " + lock.override->madeAt;
        }
        line += " (" + lock.override->reason + "); locked: " + lock.reason;
      } else {
        line += "locked value changed (" + lock.reason + ")";
      }
      Out(line);
    }
  }

  void DriftLine(const SetupFinding& setup) {
    if (!IsDrift(setup.state) && setup.state != SetupState::Unreadable) {
      if (!setup.locks.empty()) Out("  " + Quoted(setup.name) + ": " + StateLabel(setup.state));
      return;
    }
    std::string line = "  " + Quoted(setup.name) + ": ";
    if (setup.state == SetupState::SameNameDiffers) {
      line += "not from a library, but " + Quoted(setup.libraryFile) + " has a setup of its name";
    } else {
      line += StateLabel(setup.state);
    }
    if (setup.state == SetupState::Unreadable || setup.state == SetupState::LibraryGone) {
      Out(line + " (" + setup.reason + ")");
      return;
    }
    const bool sameName = setup.state == SetupState::SameNameDiffers;
    if (setup.conflicts > 0) line += " (" + Plural(setup.conflicts, "conflict", "conflicts") + ")";
    std::string changes;
    std::size_t shown = 0;
    std::size_t left = 0;
    for (const PropertyFinding& property : setup.properties) {
      if (property.state == DriftState::ChangedAlike) continue;
      if (shown == kPropertiesShown) {
        ++left;
        continue;
      }
      changes += (shown++ == 0 ? ": " : ", ") + PropertyChange(property, sameName);
    }
    if (left > 0) changes += ", " + std::to_string(left) + " more";
    Out(line + changes);
    if (setup.fix.action == FixAction::Undecided) {
      Out("    fix: " + Plural(setup.fix.undecided.size(), "conflict", "conflicts") +
          " to decide; left as it is");
    }
  }

  void FixLine(const FileFinding& file) {
    switch (file.fix) {
      case FixOutcome::WouldChange:
      case FixOutcome::Changed: {
        std::string line =
            file.fix == FixOutcome::Changed ? "  fix: changed " : "  fix: would change ";
        std::string names;
        for (const SetupFinding& setup : file.setups) {
          const SetupFix& fix = setup.fix;
          if (fix.action == FixAction::Locks) {
            names +=
                (names.empty() ? "" : ", ") + Quoted(setup.name) + " (" + LocksPutBack(fix) + ")";
            continue;
          }
          if (fix.action != FixAction::Merge) continue;
          names +=
              (names.empty() ? "" : ", ") + Quoted(setup.name) +
              (fix.take.empty()
                   ? std::string(" (the merge base only")
                   : " (" + Plural(fix.take.size(), "value", "values") + " from the library") +
              (fix.locks.empty() && fix.overridesDropped.empty() ? "" : ", " + LocksPutBack(fix)) +
              ")";
        }
        Out(line + names);
        return;
      }
      case FixOutcome::Skipped:
        Out("  fix: skipped: " + file.fixReason);
        return;
      default:
        return;
    }
  }

  static std::string LocksPutBack(const SetupFix& fix) {
    std::string text = Plural(fix.locks.size(), "locked value", "locked values") + " put back";
    if (!fix.overridesDropped.empty()) {
      text += ", " + Plural(fix.overridesDropped.size(), "override", "overrides") + " dropped";
    }
    return text;
  }

  Console& console_;
  std::vector<std::string> reportFiles_;
  bool headed_ = false;
};

}  // namespace

std::string PropertyChange(const PropertyFinding& property, bool sameName) {
  if (sameName)
    return property.property + " " + property.here + " here, " + property.library + " in library";
  switch (property.state) {
    case DriftState::ChangedHere:
      return property.property + " " + property.base + " -> " + property.here + " here";
    case DriftState::ChangedInLibrary:
      return property.property + " " + property.base + " -> " + property.library + " in library";
    case DriftState::Conflict:
      return property.property + " " + property.base + " -> " + property.here + " here, " +
             property.library + " in library";
    default:
      return property.property + " " + property.here;
  }
}

std::unique_ptr<Report> MakeTerminalReport(Console& console, std::vector<std::string> reportFiles) {
  return std::make_unique<TerminalReport>(console, std::move(reportFiles));
}

}  // namespace ornr::audit
