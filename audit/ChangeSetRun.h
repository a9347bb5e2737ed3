// The runs over a project's change sets: --deploy writes one, --changes lists them or shows one
// value by value, --undo reverts one in every file it reached, --forget removes one from the
// files' record.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "audit/AuditOptions.h"
#include "audit/Console.h"

namespace ornr::audit {

/// Runs the change-set command options asks for over its PATHs; a deploy or an undo works on
/// options.jobs files at once (0: one per core), and tells them and reports them in the order of
/// the walk. command is the command line as given, which an undo records. stop ends the run after
/// the files being written. Returns the exit status: 0 done or nothing to do, 1 conflicts left or
/// files skipped (or a change set found in no file), 3 a file could not be read, 128 + the signal
/// when stopped.
int RunChangeSets(const AuditOptions& options, const std::vector<std::string>& command,
                  Console& console, const std::atomic<bool>& stop);

}  // namespace ornr::audit
