// The workbench's command table against what is read from it: the page's checks, the forms help
// shows, and the shell completion written from it.
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/controls/HostControls.h"
#include "workbench/commands/CommandTable.h"
#include "workbench/commands/CompletionScript.h"
#include "workbench/page/PageActions.h"

// Entries of the command table name only what they have, as the table's own do.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace ornr::workbench {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

std::vector<std::string> Split(std::string_view text, char at) {
  std::vector<std::string> parts;
  std::string part;
  for (const char c : text) {
    if (c != at) {
      part += c;
    } else if (!part.empty()) {
      parts.push_back(std::exchange(part, {}));
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

// A form's words as written: "[", "]" and "..." are marks, not words.
struct FormWords {
  std::size_t leastArgs = 0;           // the words it needs after the command's name
  std::set<std::string> literals;      // words typed as they stand: "on", "--take", "add"
  std::set<std::string> placeholders;  // NAME, FILE, PROPERTY...
};

FormWords ReadForm(std::string_view form) {
  FormWords words;
  int depth = 0;
  const std::vector<std::string> tokens = Split(form, ' ');
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const std::string& token = tokens[i];
    if (i > 0 && depth == 0 && token[0] != '[') ++words.leastArgs;
    depth += static_cast<int>(std::count(token.begin(), token.end(), '[')) -
             static_cast<int>(std::count(token.begin(), token.end(), ']'));
    if (i == 0) continue;
    std::string bare;
    for (const char c : token) {
      if (c != '[' && c != ']' && c != '.') bare += c;
    }
    for (const std::string& piece : Split(bare, '=')) {
      for (const std::string& word : Split(piece, '|')) {
        if (std::all_of(word.begin(), word.end(), [](char c) { return c >= 'A' && c <= 'Z'; })) {
          words.placeholders.insert(word);
        } else if (std::none_of(word.begin(), word.end(), [](char c) { return isdigit(c); })) {
          words.literals.insert(word);
        }
      }
    }
  }
  return words;
}

// Everything a command's completion offers anywhere, and which kinds of words.
struct Offered {
  std::set<std::string> words;
  bool files = false;
  bool properties = false;
};

void Collect(const WordCompletion& word, Offered& offered) {
  for (const std::string& w : Split(word.words, ' ')) offered.words.insert(w);
  for (const std::string& w : Split(word.assignedValues, ' ')) offered.words.insert(w);
  offered.files |= *word.files != '\0';
  offered.properties |= word.properties || word.assignments;
}

void Collect(const Completion& completion, Offered& offered) {
  for (const WordCompletion& word : completion.args) Collect(word, offered);
  Collect(completion.rest, offered);
  for (const auto& [option, value] : completion.afterOption) {
    offered.words.insert(option);
    Collect(value, offered);
  }
  for (const Subcommand& sub : completion.subcommands) {
    offered.words.insert(sub.word);
    Collect(sub.completion, offered);
  }
}

TEST(CommandTable, EachCommandHasOneNameAndOneFunction) {
  std::set<std::string> names;
  std::set<CommandId> ids;
  for (const CommandEntry& command : CommandTable()) {
    EXPECT_TRUE(names.insert(command.name).second) << command.name;
    EXPECT_TRUE(ids.insert(command.id).second) << command.name;
    EXPECT_EQ(FindCommand(command.name), &command);
  }
  // Every function of the workbench is reached by a command.
  EXPECT_EQ(ids.size(), static_cast<std::size_t>(CommandId::Quit) + 1);
  EXPECT_EQ(FindCommand("nonsense"), nullptr);
  EXPECT_EQ(FindCommand(""), nullptr);
}

TEST(CommandTable, EveryFormNamesItsCommandAndFitsItsNumberOfArguments) {
  for (const CommandEntry& command : CommandTable()) {
    ASSERT_FALSE(command.forms.empty()) << command.name;
    EXPECT_LE(command.args.min, command.args.max) << command.name;
    std::size_t fewest = kAnyNumber;
    for (const CommandForm& form : command.forms) {
      EXPECT_EQ(Split(form.form, ' ').at(0), command.name) << form.form;
      EXPECT_NE(*form.help, '\0') << form.form;
      const std::size_t least = ReadForm(form.form).leastArgs;
      EXPECT_GE(least, command.args.min) << form.form;
      EXPECT_LE(least, command.args.max) << form.form;
      fewest = std::min(fewest, least);
    }
    // Some form says how few arguments will do.
    EXPECT_EQ(fewest, command.args.min) << command.name;
  }
}

TEST(CommandTable, CompletionOffersTheWordsOfTheFormsAndNoOthers) {
  for (const CommandEntry& command : CommandTable()) {
    FormWords forms;
    for (const CommandForm& form : command.forms) {
      const FormWords words = ReadForm(form.form);
      forms.literals.insert(words.literals.begin(), words.literals.end());
      forms.placeholders.insert(words.placeholders.begin(), words.placeholders.end());
    }
    Offered offered;
    Collect(command.completion, offered);
    EXPECT_EQ(offered.words, forms.literals) << command.name;
    EXPECT_EQ(offered.files, forms.placeholders.contains("FILE")) << command.name;
    EXPECT_EQ(offered.properties, forms.placeholders.contains("PROPERTY")) << command.name;
  }
}

TEST(CommandTable, UsageListsEveryFormOfTheCommand) {
  EXPECT_EQ(Usage(*FindCommand("save")), "usage: save NAME | save NAME --force");
  EXPECT_EQ(Usage(*FindCommand("open")), "usage: open FILE");
}

std::vector<std::string> Words(const std::string& command, std::size_t args) {
  std::vector<std::string> words{command};
  for (std::size_t i = 0; i < args; ++i) words.push_back("w" + std::to_string(i));
  return words;
}

// The page's script sends these and nothing else; a command the table opens to the page by
// mistake, or closes to it, shows here.
TEST(PageCommands, ThePageMaySendWhatItsScriptSendsAndNothingElse) {
  const std::vector<std::string> sends = Split(
      "new duplicate rename delete reset save copy-from-library update-from-library "
      "merge-from-library edit restore undelete quit",
      ' ');
  const std::set<std::string> pageSends(sends.begin(), sends.end());
  std::set<std::string> allowed;
  for (const CommandEntry& command : CommandTable()) {
    const auto bounds = PageArgs(command);
    if (!bounds) {
      EXPECT_THAT(PageCommandRefusal(Words(command.name, command.args.min)),
                  HasSubstr("the page may not run " + std::string(command.name)));
      continue;
    }
    allowed.insert(command.name);
    EXPECT_THAT(PageCommandRefusal(Words(command.name, bounds->min)), IsEmpty()) << command.name;
    EXPECT_THAT(PageCommandRefusal(Words(command.name, bounds->max)), IsEmpty()) << command.name;
    EXPECT_THAT(PageCommandRefusal(Words(command.name, bounds->max + 1)),
                HasSubstr("wrong number of words for " + std::string(command.name)));
    if (bounds->min > 0) {
      EXPECT_THAT(PageCommandRefusal(Words(command.name, bounds->min - 1)),
                  HasSubstr("wrong number of words"));
    }
  }
  EXPECT_EQ(allowed, pageSends);
}

TEST(PageCommands, ThePagesOwnBoundsWinOverThePrompts) {
  const std::size_t settings = ornhost::SettingKeys().size();
  struct Case {
    std::vector<std::string> words;
    std::string refusal;  // empty: sent
  };
  const Case cases[] = {
      {{"save", "Sky"}, ""},
      // Writing over another session's work is for the prompt.
      {{"save", "Sky", "--force"}, "wrong number of words for save"},
      // The name to give a new setup, which the prompt's new does not take.
      {{"new", "Sky", "Cloud"}, ""},
      {{"new", "Sky", "Cloud", "x"}, "wrong number of words for new"},
      {{"merge-from-library", "Sky"}, ""},
      {Words("merge-from-library", 1 + settings), ""},
      {Words("merge-from-library", 2 + settings), "wrong number of words for merge-from-library"},
      // A locked value, overridden with a reason.
      {{"edit", "Sky", "BlurPasses", "4", "--override", "client"}, ""},
      {{"edit", "Sky", "BlurPasses", "4", "--override", "client", "x"},
       "wrong number of words for edit"},
      {{"open", "other.zel"}, "the page may not run open"},
      {{"host", "add", "X"}, "the page may not run host"},
      {{"nonsense"}, "the page may not run nonsense"},
      {{}, "no command"},
      {{"quit"}, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PageCommandRefusal(c.words), c.refusal) << ::testing::PrintToString(c.words);
  }
}

// A folder that goes with the test.
class TempDir {
 public:
  TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "ornr-commands.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    path_ = pattern;
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The completion script written from a table, in bash as bash-completion calls it.
class Completing {
 public:
  explicit Completing(const std::vector<CommandEntry>& table) {
    const std::string script = CompletionScript(
        ReadAll(std::filesystem::path(ORNR_SOURCE_DIR) / "workbench/rsm-workbench.bash.in"),
        "BlurPasses Stereo", table);
    std::ofstream(dir_.Path() / "completion.bash") << script;
    for (const char* file : {"shot.png", "notes.txt"}) std::ofstream(dir_.Path() / file);
    ornhost::WriteSetup(dir_.Path() / "p.zel", u"Sky", Teskor::ZelPlatform::OrnSettings());
  }

  /// The candidates, sorted and joined by "|", for the words bash split the line into.
  std::string Candidates(const std::vector<std::string>& words) {
    std::string driver =
        "cd '" + dir_.Path().string() + "' && source completion.bash && COMP_WORDS=(";
    for (const std::string& word : words) driver += " " + Quoted(word);
    driver +=
        " ); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _rsm_workbench 2>/dev/null;"
        " printf '%s\\n' \"${COMPREPLY[@]}\" | LC_ALL=C sort | paste -sd'|'";
    std::ofstream(dir_.Path() / "driver.bash") << driver;
    FILE* pipe = popen(("bash " + (dir_.Path() / "driver.bash").string()).c_str(), "r");
    std::string out;
    char buffer[512];
    while (pipe != nullptr && fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
    if (pipe != nullptr) pclose(pipe);
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }

 private:
  static std::string Quoted(const std::string& word) {
    std::string quoted = "'";
    for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
  }

  TempDir dir_;
};

TEST(CompletionScript, ACommandAddedToTheTableCompletesAsItsEntrySays) {
  std::vector<CommandEntry> table = CommandTable();
  table.push_back({"paint",
                   CommandId::Quit,
                   {2, 3},
                   {{"paint red|green FILE [--glossy]", "paint a picture"}},
                   {},
                   {.args = {{.words = "red green", .more = true}, {.files = "*.png"}},
                    .afterOption = {{"--glossy", {}}}}});
  table.push_back({"sweep", CommandId::Quit, {0, 0}, {{"sweep", "sweep up"}}, {}, {}});
  Completing bash(table);
  struct Case {
    std::vector<std::string> words;
    std::string candidates;
  };
  const Case cases[] = {
      {{"rsm-workbench", "-c", "pa"}, "paint"},
      // More words follow paint, so the quote stays open; after sweep nothing does.
      {{"rsm-workbench", "-c", "'pai"}, "paint|paint "},
      {{"rsm-workbench", "-c", "'swe"}, "sweep"},
      {{"rsm-workbench", "-c", "'paint "}, "paint green|paint red"},
      {{"rsm-workbench", "-c", "'paint red "}, "paint red shot.png"},
      {{"rsm-workbench", "-c", "'help pa"}, "help paint"},
      // The table's own commands are still there.
      {{"rsm-workbench", "-c", "'answer "}, "answer no|answer yes"},
      {{"rsm-workbench", "-c", "'host a"}, "host add|host add "},
      {{"rsm-workbench", "-c", "'host add X Ste"}, "host add X Stereo=|host add X Stereo= "},
      {{"rsm-workbench", "-c", "'host show X Ste"}, ""},
      // Setup names from the master file, where the subcommand's own arguments start.
      {{"rsm-workbench", "--master", "p.zel", "-c", "'host show S"}, "host show Sky"},
      {{"rsm-workbench", "--master", "p.zel", "-c", "'host add S"}, "host add Sky"},
      {{"rsm-workbench", "--master", "p.zel", "-c", "'host add Sky S"},
       "host add Sky Stereo=|host add Sky Stereo= "},
      {{"rsm-workbench", "-c", "'merge-from-library X Stereo="},
       "merge-from-library X Stereo=library|merge-from-library X Stereo=local"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(bash.Candidates(c.words), c.candidates) << c.words.back();
  }
}

TEST(CompletionScript, ATemplateWithoutAMarkIsRefused) {
  const std::string whole =
      "@ORNR_COMMANDS@ @ORNR_COMMANDS_WITHOUT_ARGUMENTS@ @ORNR_PROPERTY_NAMES@\n"
      "@ORNR_COMMAND_CASES@\n";
  const std::string script = CompletionScript(whole, "Stereo");
  EXPECT_THAT(script, ::testing::StartsWith("open close library"));
  EXPECT_THAT(script, HasSubstr("close|refresh|init|release|deleted|list|quit Stereo\n"));
  for (const char* mark : {"@ORNR_COMMANDS@ ", "@ORNR_COMMAND_CASES@\n", "@ORNR_PROPERTY_NAMES@"}) {
    std::string missing = whole;
    missing.erase(missing.find(mark), std::string_view(mark).size());
    EXPECT_THROW(CompletionScript(missing, "Stereo"), CompletionScriptError) << mark;
  }
}

}  // namespace
}  // namespace ornr::workbench
