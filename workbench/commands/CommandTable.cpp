#include "workbench/commands/CommandTable.h"

#include "host/controls/HostControls.h"

// An entry names only what it has: what it leaves out keeps its default (nothing offered, not
// from the page).
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace ornr::workbench {

namespace {

// The page sends these as the prompt takes them.
const PageUse kPageAsTyped{.allowed = true};

const WordCompletion kName{.names = true};
const WordCompletion kNameThenMore{.names = true, .more = true};

}  // namespace

const std::vector<CommandEntry>& CommandTable() {
  using enum CommandId;
  // clang-format off
  static const std::vector<CommandEntry> table = {
      {"open", Open, {1, 1},
       {{"open FILE", "make FILE the master file (created if missing)"}},
       {}, {.args = {{.files = "*.zel"}}}},
      {"close", Close, {0, 0},
       {{"close", "close the master file"}}},
      {"library", Library, {1, 1},
       {{"library FILE", "offer FILE as a design library from now on"}},
       {}, {.args = {{.files = "*.zellib"}}}},
      {"refresh", Refresh, {0, 0},
       {{"refresh", "the host's session refresh notification"}}},
      {"reference", Reference, {1, 1},
       {{"reference on|off", "the active model is / is no longer a reference attachment"}},
       {}, {.args = {{.words = "on off"}}}},
      {"answer", Answer, {1, 1},
       {{"answer yes|no", "queue the answer for the next question box"}},
       {}, {.args = {{.words = "yes no"}}}},
      {"init", Init, {0, 0},
       {{"init", "start the module (ornR_Init)"}}},
      {"release", Release, {0, 0},
       {{"release", "stop the module (ornR_Release)"}}},
      {"load", Load, {0, 1},
       {{"load [reload]", "send every setup to the panel; reload re-reads the master file"}},
       {}, {.args = {{.words = "reload"}}}},
      // The page may add the name to give the new setup, instead of renaming it afterwards.
      {"new", New, {1, 1},
       {{"new NAME", "a new setup with the settings of NAME"}},
       {.allowed = true, .args = ArgBounds{1, 2}}, {.args = {kName}}, MasterChange::ByModule},
      {"duplicate", Duplicate, {1, 1},
       {{"duplicate NAME", "copy NAME under a free name"}},
       kPageAsTyped, {.args = {kName}}, MasterChange::ByModule},
      {"rename", Rename, {2, 2},
       {{"rename OLD NEW", "rename a master-file setup"}},
       kPageAsTyped, {.args = {kNameThenMore}}, MasterChange::ByModule},
      {"delete", Delete, {1, 1},
       {{"delete NAME", "delete a master-file setup"}},
       kPageAsTyped, {.args = {kName}}, MasterChange::ByModule},
      {"reset", Reset, {1, 1},
       {{"reset NAME", "put NAME back to its stored state"}},
       kPageAsTyped, {.args = {kName}}, MasterChange::ByModule},
      // The page never writes over another session's work.
      {"save", Save, {1, 2},
       {{"save NAME", "write NAME into the master file"},
        {"save NAME --force", "write NAME even over another session's newer work"}},
       {.allowed = true, .args = ArgBounds{1, 1}}, {.args = {kName, {.words = "--force"}}}, MasterChange::ByModule},
      {"modified", Modified, {1, 1},
       {{"modified NAME", "1 when NAME has unsaved changes"}},
       {}, {.args = {kName}}},
      {"copy-from-library", CopyFromLibrary, {1, 1},
       {{"copy-from-library NAME", "copy the library setup NAME into the master file"}},
       kPageAsTyped, {.args = {kName}}, MasterChange::ByModule},
      {"update-from-library", UpdateFromLibrary, {1, 1},
       {{"update-from-library NAME", "take the library setup's settings into NAME"}},
       kPageAsTyped, {.args = {kName}}, MasterChange::ByModule},
      {"matches", Matches, {1, 1},
       {{"matches NAME", "1 equal to the library setup, 0 different, -1 nothing to compare"}},
       {}, {.args = {kName}}},
      {"origin", Origin, {1, 1},
       {{"origin NAME", "the library setup NAME was taken from, and how the two have moved"}},
       {}, {.args = {kName}}},
      {"drift", Drift, {1, 1},
       {{"drift NAME", "each value that changed here, in the library or on both sides"}},
       {}, {.args = {kName}}},
      // The page decides each conflict on its own: at most one choice a setting.
      {"merge-from-library", MergeFromLibrary, {1, kAnyNumber},
       {{"merge-from-library NAME", "take the library's newer values, keep the ones changed here"},
        {"merge-from-library NAME --take library|local", "the same, conflicts decided one way"},
        {"merge-from-library NAME PROPERTY=library|local...", "conflicts decided one by one"}},
       {.allowed = true, .args = ArgBounds{1, 1 + ornhost::SettingKeys().size()}},
       {.args = {kName},
        .rest = {.words = "--take", .assignments = true, .assignedValues = "library local",
                 .more = true},
        .afterOption = {{"--take", {.words = "library local"}}}},
       MasterChange::Guarded},
      {"scope", Scope, {1, kAnyNumber},
       {{"scope NAME", "the values the setup NAME governs as a library setup"},
        {"scope NAME --only WORD...", "govern only these properties and catalogue sections"},
        {"scope NAME --all", "govern every value again"}},
       {}, {.args = {kNameThenMore, {.words = "--only --all", .more = true}}},
       MasterChange::Guarded},
      {"lock", Lock, {4, kAnyNumber},
       {{"lock NAME PROPERTY... --reason TEXT", "lock governed values of a library setup, saying why"}},
       {}, {.args = {kNameThenMore},
            .rest = {.words = "--reason", .properties = true, .more = true},
            .afterOption = {{"--reason", {}}}},
       MasterChange::Guarded},
      {"unlock", Unlock, {2, kAnyNumber},
       {{"unlock NAME PROPERTY...", "take the locks off these values"}},
       {}, {.args = {kNameThenMore}, .rest = {.properties = true, .more = true}},
       MasterChange::Guarded},
      {"locks", Locks, {0, 1},
       {{"locks [NAME]", "the locked values of the master file's setups, their reasons and overrides"}},
       {}, {.args = {kName}}},
      {"note", Note, {1, 3},
       {{"note NAME [TEXT]", "the setup's note, or set it (empty: remove)"},
        {"note NAME PROPERTY [TEXT]", "the reason for one value, or set it (empty: remove)"}},
       {}, {.args = {kNameThenMore, {.properties = true, .more = true}}},
       MasterChange::Guarded},
      {"why", Why, {2, 2},
       {{"why NAME PROPERTY", "why the value is what it is: library setups, lock, last change, notes"}},
       {}, {.args = {kNameThenMore, {.properties = true}}}},
      {"apply", Apply, {2, kAnyNumber},
       {{"apply LIBSETUP [--library FILE] NAME... [--dry-run]",
         "take a library setup's governed values into master-file setups as edits"}},
       {}, {.rest = {.words = "--library --dry-run", .names = true, .more = true},
            .afterOption = {{"--library", {.files = "*.zel*"}}}},
       MasterChange::Guarded},
      {"edit", Edit, {3, 5},
       {{"edit NAME PROPERTY VALUE", "the user changes a value of NAME in the panel"},
        {"edit NAME PROPERTY VALUE --override TEXT", "change a locked value anyway, saying why"}},
       // The page overrides a locked value with the reason the user gave.
       kPageAsTyped,
       {.args = {kNameThenMore, {.properties = true, .more = true}, {.more = true},
                 {.words = "--override"}}},
       MasterChange::ByModule},
      {"show", Show, {1, 2},
       {{"show NAME", "the panel's values of the master-file setup NAME"},
        {"show NAME --notes", "the same with the notes of the setup and of its library setups"}},
       {}, {.args = {kName, {.words = "--notes"}}}},
      {"export", Export, {2, kAnyNumber},
       {{"export NAME... FILE", "write stored master-file setups to FILE as JSON"}},
       {}, {.rest = {.files = "*.json", .names = true, .more = true}}},
      {"import", Import, {1, 2},
       {{"import FILE [--replace]", "store the setups of a JSON file in the master file"}},
       {}, {.args = {{.files = "*.json", .more = true}, {.words = "--replace"}}}, MasterChange::Guarded},
      {"upgrade", Upgrade, {1, 1},
       {{"upgrade FILE", "convert a design file of an older format, keeping a copy of it"}},
       {}, {.args = {{.files = "*.zel*"}}}},
      {"history", History, {1, 1},
       {{"history NAME", "the stored states NAME had, newest first: when, what, who, which values"}},
       {}, {.args = {kName}}},
      {"diff", Diff, {2, 8},
       {{"diff A [--version N] [--library [FILE]] B [--version N] [--library [FILE]]",
         "the values in which two setups, versions or library setups differ"}},
       {}, {.rest = {.words = "--version --library", .names = true, .more = true},
            .afterOption = {{"--library", {.files = "*.zel*", .names = true}},
                            {"--version", {}}}}},
      {"restore", Restore, {2, 2},
       {{"restore NAME N", "bring version N's values back into NAME as edits (then save or reset)"}},
       kPageAsTyped, {.args = {kNameThenMore}}, MasterChange::Guarded},
      {"deleted", Deleted, {0, 0},
       {{"deleted", "the setups deleted from the master file that it keeps"}}},
      {"undelete", Undelete, {1, 2},
       {{"undelete NAME [NEWNAME]", "store the setup most recently deleted as NAME again"}},
       kPageAsTyped, {}, MasterChange::Guarded},
      {"history-limit", HistoryLimit, {0, 2},
       {{"history-limit", "how much history the master file keeps"},
        {"history-limit VERSIONS [DAYS]", "keep that many versions a setup, deleted setups DAYS days"},
        {"history-limit 0", "keep no history"}},
       {}, {}, MasterChange::Guarded},
      {"host", Host, {2, kAnyNumber},
       {{"host add NAME [PROPERTY=VALUE]...", "the host stores a new setup in the master file"},
        {"host show NAME", "the stored values of the master-file setup NAME, exactly"},
        {"host invalidate NAME", "the host damages the stored record of NAME"}},
       {}, {.args = {{.words = "add show invalidate", .more = true}},
            .subcommands = {{"add", {.args = {kName},
                                     .rest = {.assignments = true, .more = true}}},
                            {"show", {.args = {kName}}},
                            {"invalidate", {.args = {kName}}}}}},
      {"list", List, {0, 0},
       {{"list", "the setups the panel shows, by group, the current one marked"}}},
      {"help", Help, {0, 1},
       {{"help [COMMAND]", "this list, or the forms of one command"}},
       {}, {.args = {{.commands = true}}}},
      {"quit", Quit, {0, 0},
       {{"quit", "end the session (also end of input)"}},
       kPageAsTyped},
  };
  // clang-format on
  return table;
}

const CommandEntry* FindCommand(std::string_view name) {
  for (const CommandEntry& command : CommandTable()) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

std::optional<ArgBounds> PageArgs(const CommandEntry& command) {
  if (!command.page.allowed) return std::nullopt;
  return command.page.args.value_or(command.args);
}

std::string Usage(const CommandEntry& command) {
  std::string usage;
  for (const CommandForm& form : command.forms) {
    usage += (usage.empty() ? "" : " | ") + std::string(form.form);
  }
  return "usage: " + usage;
}

}  // namespace ornr::workbench
