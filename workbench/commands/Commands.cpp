#include "workbench/commands/Commands.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <utility>

#include "workbench/commands/CommandLexer.h"
#include "workbench/commands/CommandSupport.h"

namespace ornr::workbench {

namespace {

constexpr std::size_t kAnyNumber = std::numeric_limits<std::size_t>::max();

}  // namespace

struct Commands::Entry {
  const char* name;
  std::size_t minArgs;
  std::size_t maxArgs;
  void (Commands::*run)(const Args&);
  // Each form with what it does, for help and for the usage shown on wrong arguments.
  std::vector<std::pair<const char*, const char*>> forms;
};

const std::vector<Commands::Entry>& Commands::Table() {
  // clang-format off
  static const std::vector<Entry> table = {
      {"open", 1, 1, &Commands::Open,
       {{"open FILE", "make FILE the master file (created if missing)"}}},
      {"close", 0, 0, &Commands::Close,
       {{"close", "close the master file"}}},
      {"library", 1, 1, &Commands::Library,
       {{"library FILE", "offer FILE as a design library from now on"}}},
      {"refresh", 0, 0, &Commands::Refresh,
       {{"refresh", "the host's session refresh notification"}}},
      {"reference", 1, 1, &Commands::Reference,
       {{"reference on|off", "the active model is / is no longer a reference attachment"}}},
      {"answer", 1, 1, &Commands::Answer,
       {{"answer yes|no", "queue the answer for the next question box"}}},
      {"init", 0, 0, &Commands::Init,
       {{"init", "start the module (ornR_Init)"}}},
      {"release", 0, 0, &Commands::Release,
       {{"release", "stop the module (ornR_Release)"}}},
      {"load", 0, 1, &Commands::Load,
       {{"load [reload]", "send every setup to the panel; reload re-reads the master file"}}},
      {"new", 1, 1, &Commands::New,
       {{"new NAME", "a new setup with the settings of NAME"}}},
      {"duplicate", 1, 1, &Commands::Duplicate,
       {{"duplicate NAME", "copy NAME under a free name"}}},
      {"rename", 2, 2, &Commands::Rename,
       {{"rename OLD NEW", "rename a master-file setup"}}},
      {"delete", 1, 1, &Commands::Delete,
       {{"delete NAME", "delete a master-file setup"}}},
      {"reset", 1, 1, &Commands::Reset,
       {{"reset NAME", "put NAME back to its stored state"}}},
      {"save", 1, 2, &Commands::Save,
       {{"save NAME", "write NAME into the master file"},
        {"save NAME --force", "write NAME even over another session's newer work"}}},
      {"modified", 1, 1, &Commands::Modified,
       {{"modified NAME", "1 when NAME has unsaved changes"}}},
      {"copy-from-library", 1, 1, &Commands::CopyFromLibrary,
       {{"copy-from-library NAME", "copy the library setup NAME into the master file"}}},
      {"update-from-library", 1, 1, &Commands::UpdateFromLibrary,
       {{"update-from-library NAME", "take the library setup's settings into NAME"}}},
      {"matches", 1, 1, &Commands::Matches,
       {{"matches NAME", "1 equal to the library setup, 0 different, -1 nothing to compare"}}},
      {"origin", 1, 1, &Commands::Origin,
       {{"origin NAME", "the library setup NAME was taken from, and how the two have moved"}}},
      {"drift", 1, 1, &Commands::Drift,
       {{"drift NAME", "each value that changed here, in the library or on both sides"}}},
      {"merge-from-library", 1, kAnyNumber, &Commands::MergeFromLibrary,
       {{"merge-from-library NAME", "take the library's newer values, keep the ones changed here"},
        {"merge-from-library NAME --take library|local", "the same, conflicts decided one way"},
        {"merge-from-library NAME PROPERTY=library|local...", "conflicts decided one by one"}}},
      {"edit", 3, 3, &Commands::Edit,
       {{"edit NAME PROPERTY VALUE", "the user changes a value of NAME in the panel"}}},
      {"show", 1, 1, &Commands::Show,
       {{"show NAME", "the panel's values of the master-file setup NAME"}}},
      {"export", 2, kAnyNumber, &Commands::Export,
       {{"export NAME... FILE", "write stored master-file setups to FILE as JSON"}}},
      {"import", 1, 2, &Commands::Import,
       {{"import FILE [--replace]", "store the setups of a JSON file in the master file"}}},
      {"upgrade", 1, 1, &Commands::Upgrade,
       {{"upgrade FILE", "convert a design file of an older format, keeping a copy of it"}}},
      {"history", 1, 1, &Commands::History,
       {{"history NAME", "the stored states NAME had, newest first: when, what, who, which values"}}},
      {"diff", 2, 8, &Commands::Diff,
       {{"diff A [--version N] [--library [FILE]] B [--version N] [--library [FILE]]",
         "the values in which two setups, versions or library setups differ"}}},
      {"restore", 2, 2, &Commands::Restore,
       {{"restore NAME N", "bring version N's values back into NAME as edits (then save or reset)"}}},
      {"deleted", 0, 0, &Commands::Deleted,
       {{"deleted", "the setups deleted from the master file that it keeps"}}},
      {"undelete", 1, 2, &Commands::Undelete,
       {{"undelete NAME [NEWNAME]", "store the setup most recently deleted as NAME again"}}},
      {"history-limit", 0, 2, &Commands::HistoryLimit,
       {{"history-limit", "how much history the master file keeps"},
        {"history-limit VERSIONS [DAYS]", "keep that many versions a setup, deleted setups DAYS days"},
        {"history-limit 0", "keep no history"}}},
      {"host", 2, kAnyNumber, &Commands::Host,
       {{"host add NAME [PROPERTY=VALUE]...", "the host stores a new setup in the master file"},
        {"host show NAME", "the stored values of the master-file setup NAME, exactly"},
        {"host invalidate NAME", "the host damages the stored record of NAME"}}},
      {"list", 0, 0, &Commands::List,
       {{"list", "the setups the panel shows, by group, the current one marked"}}},
      {"help", 0, 1, &Commands::Help,
       {{"help [COMMAND]", "this list, or the forms of one command"}}},
      {"quit", 0, 0, &Commands::Quit,
       {{"quit", "end the session (also end of input)"}}},
  };
  // clang-format on
  return table;
}

std::vector<std::string> Commands::HelpLines(const std::string& command) {
  std::vector<std::string> lines;
  for (const Entry& entry : Table()) {
    if (!command.empty() && command != entry.name) continue;
    for (const auto& [form, what] : entry.forms) {
      std::string line = form;
      line.resize(std::max<std::size_t>(line.size() + 2, 36), ' ');
      lines.push_back(line + what);
    }
  }
  if (!command.empty()) {
    if (lines.empty()) throw CommandError("unknown command " + QuoteWord(command));
    return lines;
  }
  lines.emplace_back(
      "NAME, FILE and VALUE in double quotes when they hold blanks or \"#\"; "
      "\\\" and \\\\ inside quotes");
  return lines;
}

void Commands::Run(const Args& words) {
  if (words.empty()) return;
  try {
    const Entry* found = nullptr;
    for (const Entry& entry : Table()) {
      if (words[0] == entry.name) found = &entry;
    }
    if (found == nullptr) throw CommandError("unknown command " + QuoteWord(words[0]));
    const Args args(words.begin() + 1, words.end());
    if (args.size() < found->minArgs || args.size() > found->maxArgs) {
      std::string usage;
      for (const auto& form : found->forms)
        usage += (usage.empty() ? "" : " | ") + std::string(form.first);
      throw CommandError("usage: " + usage);
    }
    (this->*found->run)(args);
  } catch (const std::exception& error) {
    transcript_.Error(error.what());
  } catch (...) {
    transcript_.Error("the command failed");
  }
}

}  // namespace ornr::workbench
