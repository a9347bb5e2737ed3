// The browser panel on the user-interface thread: runs what the page queued, tells the pages what
// changed, answers their queries, shows message boxes and asks the host's questions in the page.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/controls/HostControls.h"
#include "workbench/Module.h"
#include "workbench/page/PageActions.h"
#include "workbench/page/PagePanel.h"
#include "workbench/page/PageState.h"
#include "workbench/page/PanelFeed.h"
#include "workbench/page/PanelServer.h"

namespace ornr::workbench {

class PanelFrontEnd : public PagePanel {
 public:
  /// Runs the words of one workbench command as the panel's button would.
  using RunWords = std::function<void(const std::vector<std::string>& words)>;

  /// Starts the server; from now on the host's questions wait for the page (or the terminal).
  /// Throws PanelServerError.
  /// pageTexts: the page's message catalogue (PageTextsJson).
  PanelFrontEnd(const PanelAddress& address, const ModuleApi& api, RunWords runWords,
                std::string pageTexts = {});
  /// Tells the pages that the session ended and stops the server.
  ~PanelFrontEnd() override;
  PanelFrontEnd(const PanelFrontEnd&) = delete;
  PanelFrontEnd& operator=(const PanelFrontEnd&) = delete;

  std::string Url() const { return server_->Url(); }
  const PanelServer& Server() const noexcept { return *server_; }
  std::vector<std::string> Urls() const override { return server_->Urls(); }
  std::string NetworkWarning() const override { return server_->NetworkWarning(); }
  int PageFd() const noexcept override { return actions_.Fd(); }
  void SetTerminal(QuestionTerminal* terminal) noexcept override { terminal_ = terminal; }
  void SetStopFd(int fd) noexcept override { stopFd_ = fd; }

  void RunPageActions() override;
  void Publish(const std::vector<std::string>& words) override;
  void Publish() { Publish({}); }
  /// A message box is also shown as a dialog until the page dismisses it.
  void Note(std::string_view prefix, std::string_view text) override;
  /// Waits for the page's or the terminal's answer; a stop signal or the end of input is no
  /// answer (kNobodyAnswered).
  int Ask(const ornhost::Question& question);

 private:
  void RunAction(const PageAction& action);
  /// Runs a page's command, and for "new FROM NAME" the rename to NAME after it; what the page
  /// that sent it is told of how it went.
  PageResult RunCommand(const std::vector<std::string>& words);

  const ModuleApi& api_;
  RunWords runWords_;
  PanelFeed feed_;
  PageActionQueue actions_;
  PageState state_;
  std::unique_ptr<PanelServer> server_;
  std::deque<PageAction> heldBack_;
  QuestionTerminal* terminal_ = nullptr;
  int stopFd_ = -1;
  // While a page's command runs: its error lines, for the page that sent it.
  std::vector<std::string>* outcomeErrors_ = nullptr;
};

}  // namespace ornr::workbench
