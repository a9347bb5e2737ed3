// What a whole run found, kept as counts while the files go by, so that memory does not grow with
// the number of files.
#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "audit/Findings.h"

namespace ornr::audit {

/// How often a property differs from its library, by the kind of difference.
struct PropertyCounts {
  std::size_t changedHere = 0;
  std::size_t changedInLibrary = 0;
  std::size_t conflict = 0;
  /// In setups that only share a library setup's name.
  std::size_t sameName = 0;
  std::size_t Total() const { return changedHere + changedInLibrary + conflict + sameName; }
};

/// One drawing's counts, for the chart of the drawings with the most findings.
struct DrawingBar {
  std::string path;
  FileStatus status = FileStatus::Read;
  StateCounts counts{};
  std::size_t Findings() const;
};

struct Totals {
  /// The files the walk yields (the progress total), and those done.
  std::size_t expected = 0;
  std::size_t done = 0;
  /// Design files listed, by their status.
  std::array<std::size_t, kFileStatusCount> files{};
  std::size_t drawingsWithDrift = 0;
  std::size_t librariesSkipped = 0;
  std::size_t otherFiles = 0;
  /// Entries of folders that are no files to read (FIFOs, links to nothing, ...).
  std::size_t skipped = 0;
  std::size_t setups = 0;
  StateCounts states{};
  std::map<std::string, PropertyCounts> properties;
  /// Locked values of the setups, those changed here without an override (violations), and
  /// those overridden.
  std::size_t lockedValues = 0;
  std::size_t locksChanged = 0;
  std::size_t overridden = 0;
  /// The fix: files and setups changed (or, in a dry run, that would be), files skipped.
  std::size_t filesFixed = 0;
  std::size_t setupsFixed = 0;
  std::size_t filesSkipped = 0;
  std::size_t setupsUndecided = 0;
  /// Locked values the fix puts back (or would).
  std::size_t locksRestored = 0;
  /// Stopped before every file was done; stopReason says by what.
  bool partial = false;
  std::string stopReason;
  /// The drawings with the most findings, most first, at most kChartedDrawings.
  std::vector<DrawingBar> chart;

  static constexpr std::size_t kChartedDrawings = 40;

  std::size_t Listed() const;
  void Add(const FileFinding& file);
  /// The properties by how many setups they differ in, most first.
  std::vector<std::pair<std::string, PropertyCounts>> PropertiesByDrift() const;
  /// Whether the reports show the counts of locked values: once any setup has one.
  bool ShowsLocks() const { return lockedValues + overridden > 0; }
  /// 0 all in step, 1 drift found or a locked value changed (with strict, or overridden), 3 a
  /// file could not be read (whatever else was found).
  int ExitStatus(bool strict = false) const;
};

}  // namespace ornr::audit
