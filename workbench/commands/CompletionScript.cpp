#include "workbench/commands/CompletionScript.h"

#include <algorithm>
#include <cstddef>

namespace ornr::workbench {

namespace {

// One branch of an if chain: when cond holds (always when empty), the lines run.
struct Branch {
  std::string cond;
  std::vector<std::string> lines;
};

std::string Indent(std::size_t depth) {
  return std::string(2 * depth, ' ');
}

// The assignments that offer what completion says for the word, or ":" for nothing.
std::string Offer(const WordCompletion& completion) {
  std::string list = completion.words;
  const auto add = [&list](const char* piece) {
    list += (list.empty() ? "" : " ") + std::string(piece);
  };
  if (completion.properties) add("$_rsm_workbench_properties");
  if (completion.assignments) add("$props");
  if (completion.commands) add("$_rsm_workbench_commands");
  std::string line;
  const auto assign = [&line](const std::string& text) {
    line += (line.empty() ? "" : " ") + text;
  };
  if (!list.empty()) {
    // A lone variable goes as it is; words go in single quotes, words with variables in double.
    const bool variables = list.find('$') != std::string::npos;
    if (variables && list.find(' ') == std::string::npos) {
      assign("list=" + list);
    } else {
      assign("list=" + std::string(variables ? "\"" : "'") + list + (variables ? "\"" : "'"));
    }
  }
  if (completion.names) assign("names=1");
  if (*completion.files != '\0') assign("files='" + std::string(completion.files) + "'");
  if (completion.more) assign("final=0");
  return line.empty() ? ":" : line;
}

std::vector<std::string> Render(const std::vector<Branch>& branches, std::size_t depth);

// The branches for the arguments from word number first on.
std::vector<Branch> Branches(const Completion& completion, std::size_t first) {
  std::vector<Branch> branches;
  for (const auto& [option, value] : completion.afterOption) {
    branches.push_back({"[[ ${words[n - 1]} == " + std::string(option) + " ]]", {Offer(value)}});
  }
  for (std::size_t i = 0; i < completion.args.size(); ++i) {
    branches.push_back({"((n == " + std::to_string(first + i) + "))", {Offer(completion.args[i])}});
  }
  if (!completion.subcommands.empty()) {
    // Each subcommand word its own arm; those that complete alike share one.
    std::vector<std::pair<std::string, std::vector<std::string>>> arms;
    for (const Subcommand& sub : completion.subcommands) {
      std::vector<std::string> body = Render(Branches(sub.completion, first + 1), 0);
      const auto same = std::find_if(arms.begin(), arms.end(),
                                     [&body](const auto& arm) { return arm.second == body; });
      if (same != arms.end()) {
        same->first += std::string(" | ") + sub.word;
      } else {
        arms.emplace_back(sub.word, std::move(body));
      }
    }
    Branch cases{"", {"case ${words[" + std::to_string(first) + "]} in"}};
    for (const auto& [pattern, body] : arms) {
      if (body.size() == 1) {
        cases.lines.push_back(Indent(1) + pattern + ") " + body[0] + " ;;");
        continue;
      }
      cases.lines.push_back(Indent(1) + pattern + ")");
      for (const std::string& line : body) cases.lines.push_back(Indent(2) + line);
      cases.lines.push_back(Indent(2) + ";;");
    }
    cases.lines.emplace_back("esac");
    branches.push_back(std::move(cases));
  } else if (!completion.rest.Empty()) {
    const WordCompletion& rest = completion.rest;
    if (rest.assignments) {
      // Once the word holds "=", its value: PROPERTY=VALUE for each value named, else nothing.
      std::string values;
      for (std::size_t at = 0; *rest.assignedValues != '\0';) {
        const std::string_view all = rest.assignedValues;
        const std::size_t end = std::min(all.find(' ', at), all.size());
        values += (values.empty() ? "" : " ") + std::string("${word%%=*}=") +
                  std::string(all.substr(at, end - at));
        if (end == all.size()) break;
        at = end + 1;
      }
      branches.push_back(
          {"[[ $word == *=* ]]", {values.empty() ? ":" : "list=\"" + values + "\""}});
    }
    branches.push_back({"", {Offer(rest)}});
  }
  return branches;
}

// The branches as bash: one line where it fits the chain, else an if chain.
std::vector<std::string> Render(const std::vector<Branch>& branches, std::size_t depth) {
  std::vector<std::string> lines;
  if (branches.empty()) return lines;
  const Branch& first = branches.front();
  if (first.cond.empty() || (branches.size() == 1 && first.lines.size() == 1)) {
    // What follows a branch without a condition is never reached.
    for (const std::string& line : first.lines) {
      lines.push_back(Indent(depth) + (first.cond.empty() ? "" : first.cond + " && ") + line);
    }
    return lines;
  }
  for (std::size_t i = 0; i < branches.size(); ++i) {
    const Branch& branch = branches[i];
    if (branch.cond.empty()) {
      lines.push_back(Indent(depth) + "else");
    } else {
      lines.push_back(Indent(depth) + (i == 0 ? "if " : "elif ") + branch.cond + "; then");
    }
    for (const std::string& line : branch.lines) lines.push_back(Indent(depth + 1) + line);
    if (branch.cond.empty()) break;
  }
  lines.push_back(Indent(depth) + "fi");
  return lines;
}

// "a | b | c)" at four blanks, broken before 100 columns with a backslash.
std::string CasePattern(const std::vector<std::string>& names) {
  std::string text = Indent(2);
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::string piece = names[i] + (i + 1 < names.size() ? " |" : ")");
    if (i > 0 && text.size() - lineStart + 1 + piece.size() + 2 > 100) {
      text += " \\\n";
      lineStart = text.size();
      text += Indent(3);
    } else if (i > 0) {
      text += ' ';
    }
    text += piece;
  }
  return text;
}

void Replace(std::string& text, std::string_view mark, const std::string& with) {
  const std::size_t at = text.find(mark);
  if (at == std::string::npos) {
    throw CompletionScriptError("the template has no " + std::string(mark));
  }
  text.replace(at, mark.size(), with);
}

}  // namespace

std::string CompletionCases(const std::vector<CommandEntry>& commands) {
  std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> arms;
  for (const CommandEntry& command : commands) {
    // No argument takes a first branch with no condition, so an empty chain means nothing.
    std::vector<std::string> body = Render(Branches(command.completion, 1), 0);
    if (body.empty()) continue;
    const auto same = std::find_if(arms.begin(), arms.end(),
                                   [&body](const auto& arm) { return arm.second == body; });
    if (same != arms.end()) {
      same->first.emplace_back(command.name);
    } else {
      arms.push_back({{command.name}, std::move(body)});
    }
  }
  std::string text;
  for (const auto& [names, body] : arms) {
    text += CasePattern(names);
    if (body.size() == 1) {
      text += " " + body[0] + " ;;\n";
      continue;
    }
    text += '\n';
    for (const std::string& line : body) text += Indent(3) + line + '\n';
    text += Indent(3) + ";;\n";
  }
  return text;
}

std::string CompletionScript(std::string_view templateText, std::string_view propertyNames,
                             const std::vector<CommandEntry>& commands) {
  constexpr std::string_view kNamesMark = "@ORNR_COMMANDS@";
  // Broken as the template's other word lists are, within 100 columns from where they start.
  const std::size_t mark = templateText.find(kNamesMark);
  const std::size_t lineStart = templateText.rfind('\n', mark);
  std::size_t lineLength = mark == std::string_view::npos
                               ? 0
                               : mark - (lineStart == std::string_view::npos ? 0 : lineStart + 1);
  std::string names, withoutArguments;
  for (const CommandEntry& command : commands) {
    const std::size_t length = std::string_view(command.name).size();
    if (!names.empty() && lineLength + 1 + length > 98) {
      names += "\n  ";
      lineLength = 2;
    } else if (!names.empty()) {
      names += ' ';
      ++lineLength;
    }
    names += command.name;
    lineLength += length;
    if (command.args.max == 0) {
      withoutArguments += (withoutArguments.empty() ? "" : "|") + std::string(command.name);
    }
  }
  std::string text(templateText);
  Replace(text, kNamesMark, names);
  Replace(text, "@ORNR_COMMANDS_WITHOUT_ARGUMENTS@", withoutArguments);
  Replace(text, "@ORNR_COMMAND_CASES@\n", CompletionCases(commands));
  Replace(text, "@ORNR_PROPERTY_NAMES@", std::string(propertyNames));
  return text;
}

}  // namespace ornr::workbench
