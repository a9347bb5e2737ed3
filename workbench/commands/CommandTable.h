// The workbench's commands as facts: their words and forms, whether the page may send them, how
// the shell completes them and their help. The prompt, the page's server, help and the shell's
// completion all take them from here, so that a command added once shows up everywhere.
#pragma once

#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ornr::workbench {

/// Which of the workbench's functions runs a command.
// clang-format off
enum class CommandId {
  Open, Close, Library, Refresh, Reference, Answer, Init, Release, Load, New, Duplicate, Rename,
  Delete, Reset, Save, Modified, CopyFromLibrary, UpdateFromLibrary, Matches, Origin, Drift,
  MergeFromLibrary, Scope, Lock, Unlock, Locks, Note, Why, Apply, Edit, Show, Export, Import, Upgrade, History, Diff, Restore, Deleted,
  Undelete, HistoryLimit, Host, List, Help, Quit
};
// clang-format on

inline constexpr std::size_t kAnyNumber = std::numeric_limits<std::size_t>::max();

/// How many arguments a command takes.
struct ArgBounds {
  std::size_t min = 0;
  std::size_t max = 0;
  bool operator==(const ArgBounds&) const = default;
};

/// A way of writing a command, with what it does.
struct CommandForm {
  const char* form;
  const char* help;
};

/// What the shell offers for one word of a command.
struct WordCompletion {
  /// Offered as they are, separated by blanks.
  const char* words = "";
  /// A pattern of the files offered ("*.zel"); empty: none.
  const char* files = "";
  /// The names of the setups in the design files the command line gives.
  bool names = false;
  /// The settings' property names.
  bool properties = false;
  /// PROPERTY= for each property; once the word holds "=", PROPERTY=VALUE for each of these.
  bool assignments = false;
  const char* assignedValues = "";
  /// The workbench's commands.
  bool commands = false;
  /// Another word follows this one, so the quote stays open after a single candidate.
  bool more = false;

  bool Empty() const {
    return *words == '\0' && *files == '\0' && !names && !properties && !assignments && !commands;
  }
};

struct Subcommand;

/// What the shell offers for a command's arguments. The word after an option is looked up
/// first, then the argument's position, then what any further argument takes.
struct Completion {
  /// The first arguments, by position.
  std::vector<WordCompletion> args;
  /// Each argument after those.
  WordCompletion rest;
  /// The word after one of these options.
  std::vector<std::pair<const char*, WordCompletion>> afterOption;
  /// When the first argument names one of these, the arguments after it complete by its own.
  std::vector<Subcommand> subcommands;
};

struct Subcommand {
  const char* word;
  Completion completion;
};

/// Whether the page may send a command, and with how many arguments.
struct PageUse {
  bool allowed = false;
  /// The page's own bounds where they differ from the prompt's.
  std::optional<ArgBounds> args;
};

/// Whether a command changes the master file's setups or their history. While the active model
/// is a reference attachment, none of them may.
enum class MasterChange {
  /// It reads, writes other files, plays the host itself (host ...), or is a file operation with
  /// its own backup (upgrade).
  None,
  /// The module's own command: the module refuses it there itself.
  ByModule,
  /// The workbench refuses it there before it does anything.
  Guarded,
};

struct CommandEntry {
  const char* name;
  CommandId id;
  ArgBounds args;
  /// Each form with what it does: help, and the usage shown on wrong arguments.
  std::vector<CommandForm> forms;
  PageUse page;
  Completion completion;
  MasterChange changesMaster = MasterChange::None;
};

/// Every command, in the order help lists them.
const std::vector<CommandEntry>& CommandTable();
/// The command of that name; null when there is none.
const CommandEntry* FindCommand(std::string_view name);
/// How many arguments the page may send with the command; nothing when it may not send it.
std::optional<ArgBounds> PageArgs(const CommandEntry& command);
/// "usage: FORM | FORM ...", for a command given the wrong number of arguments.
std::string Usage(const CommandEntry& command);

}  // namespace ornr::workbench
