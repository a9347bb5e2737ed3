#include "workbench/page/PanelFrontEnd.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <unordered_set>
#include <utility>

#include "panel/Panel.h"
#include "support/Utf.h"

namespace ornr::workbench {

namespace {

using Teskor::RenderSetup::View::MainPanel;
using Teskor::RenderSetup::ViewModel::Group;

std::string KindOf(std::string_view prefix) {
  if (prefix == "> ") return "command";
  if (prefix == "error: ") return "error";
  if (prefix == "message: ") return "message";
  if (prefix == "question: ") return "question";
  if (prefix == "panel: ") return "panel";
  if (prefix == "= ") return "result";
  return "output";
}

}  // namespace

PanelFrontEnd::PanelFrontEnd(const PanelAddress& address, const ModuleApi& api, RunWords runWords,
                             std::string pageTexts)
    : api_(api),
      runWords_(std::move(runWords)),
      state_(api, feed_),
      server_(std::make_unique<PanelServer>(address, feed_, actions_, std::move(pageTexts))) {
  ornhost::SetQuestionAsker([this](const ornhost::Question& question) { return Ask(question); });
}

PanelFrontEnd::~PanelFrontEnd() {
  ornhost::SetQuestionAsker(nullptr);
  try {
    state_.End();
    state_.Step();
  } catch (...) {
    // The pages learn of the end from the closed stream anyway.
  }
  server_.reset();
}

void PanelFrontEnd::Publish(const std::vector<std::string>& words) {
  state_.Step(words);
}

void PanelFrontEnd::Note(std::string_view prefix, std::string_view text) {
  std::string kind = KindOf(prefix);
  if (kind == "panel" || kind == "output") return;
  if (outcomeErrors_ != nullptr && (kind == "error" || kind == "message")) {
    outcomeErrors_->emplace_back(text);
  }
  state_.Note(std::move(kind), std::string(text));
}

void PanelFrontEnd::RunPageActions() {
  std::deque<PageAction> actions = std::exchange(heldBack_, {});
  for (PageAction& action : actions_.TakeAll()) actions.push_back(std::move(action));
  for (const PageAction& action : actions) {
    RunAction(action);
    if (action.kind != PageAction::Kind::Command && action.kind != PageAction::Kind::Query) {
      Publish();
    }
  }
}

PageResult PanelFrontEnd::RunCommand(const std::vector<std::string>& words) {
  PageResult result;
  const auto run = [this, &result](const std::vector<std::string>& command) {
    outcomeErrors_ = &result.errors;
    try {
      runWords_(command);
    } catch (...) {
      outcomeErrors_ = nullptr;
      throw;
    }
    outcomeErrors_ = nullptr;
  };
  const bool named = words.size() == 3 && words[0] == "new";
  if (!named) {
    run(words);
    return result;
  }
  // The page names a new setup in one go, instead of waiting for the module's name to show
  // before it asks for the rename; the pages learn of it in one step, under its new name.
  const auto& masters = MainPanel::Instance().ViewModel().Setups(Group::MasterFile);
  std::unordered_set<std::u16string> had;
  had.reserve(masters.size());
  for (const auto& setup : masters) had.insert(setup->Name().value_or(u""));
  run({words[0], words[1]});
  for (const auto& setup : MainPanel::Instance().ViewModel().Setups(Group::MasterFile)) {
    std::u16string name = setup->Name().value_or(u"");
    if (!had.contains(name)) {
      result.made = Utf16ToUtf8(name);
      break;
    }
  }
  if (!result.made.empty() && result.made != words[2]) run({"rename", result.made, words[2]});
  return result;
}

void PanelFrontEnd::RunAction(const PageAction& action) {
  switch (action.kind) {
    case PageAction::Kind::Command: {
      PageResult result = RunCommand(action.args);
      Publish(action.args);
      if (action.outcome) {
        // The page's undo tells values from before an edit from those after it by this.
        if (action.args.size() > 1 && action.args[0] == "edit") {
          result.revision = state_.Revision(action.args[1]);
        }
        action.outcome->Finish(std::move(result));
      }
      break;
    }
    case PageAction::Kind::Select: {
      state_.Selected();
      auto& viewModel = MainPanel::Instance().ViewModel();
      const std::u16string name = Utf8ToUtf16(action.args[1]);
      if (action.args[0] == "library" && !action.args[2].empty()) {
        viewModel.SelectLibrarySetup(Utf8ToUtf16(action.args[2]), name);
      } else {
        viewModel.Select(action.args[0] == "master" ? Group::MasterFile : Group::Library, name);
      }
      break;
    }
    case PageAction::Kind::Dismiss:
      state_.Dismiss(std::stoull(action.args[0]));
      break;
    case PageAction::Kind::Answer:
      // An answer to a question that is no longer open.
      break;
    case PageAction::Kind::Query:
      feed_.AnswerAll([this](const PanelFeed::Query& query) { return state_.Answer(query); });
      break;
  }
}

int PanelFrontEnd::Ask(const ornhost::Question& question) {
  const std::string id = std::to_string(state_.OpenQuestion(question.text));
  Publish();
  if (terminal_ != nullptr) {
    terminal_->SwitchPrompt(Utf16ToUtf8(question.text) + " [yes/no] ");
  }
  int answer = ornhost::kAnswerNo;
  bool terminalOpen = terminal_ != nullptr;
  for (bool answered = false; !answered;) {
    std::vector<pollfd> fds;
    if (stopFd_ >= 0) fds.push_back({stopFd_, POLLIN, 0});
    fds.push_back({actions_.Fd(), POLLIN, 0});
    if (terminalOpen) fds.push_back({STDIN_FILENO, POLLIN, 0});
    if (poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (const pollfd& fd : fds) {
      if (answered || (fd.revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      if (fd.fd == stopFd_) {
        answer = ornhost::kNobodyAnswered;
        answered = true;
      } else if (fd.fd == actions_.Fd()) {
        for (PageAction& action : actions_.TakeAll()) {
          if (answered) {
            heldBack_.push_back(std::move(action));
          } else if (action.kind == PageAction::Kind::Answer && action.args[0] == id) {
            answer = action.args[1] == "yes" ? ornhost::kAnswerYes : ornhost::kAnswerNo;
            answered = true;
          } else if (action.kind == PageAction::Kind::Command) {
            // The page is modal while a question is open; what another tab sent runs after.
            heldBack_.push_back(std::move(action));
          } else {
            RunAction(action);
            if (action.kind != PageAction::Kind::Query) Publish();
          }
        }
      } else {
        bool ended = false;
        const auto line = terminal_->ReadKey(ended);
        if (ended) {
          answer = ornhost::kNobodyAnswered;
          answered = true;
        } else if (line) {
          const std::string word = *line;
          if (word == "y" || word == "yes") {
            answer = ornhost::kAnswerYes;
            answered = true;
          } else if (word == "n" || word == "no") {
            answered = true;
          } else {
            terminal_->SwitchPrompt(Utf16ToUtf8(question.text) + " [yes/no] ");
          }
        }
      }
    }
  }
  state_.CloseQuestion();
  Publish();
  return answer;
}

}  // namespace ornr::workbench
