// The workbench at a terminal: the close question is asked of the person, also when a stop
// signal (Ctrl-C) or the end of input (Ctrl-D) ends the session.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "WorkbenchProcess.h"
#include "host/controls/HostControls.h"

namespace {

using Teskor::ZelPlatform::OrnSettings;

const std::string kAsked = "Do you wish to save now? [yes/no] ";

TEST(TerminalTest, TheCloseQuestionIsAskedOfThePersonHoweverTheSessionEnds) {
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::string ending;                // typed at the prompt once the edit is in
    std::vector<std::string> answers;  // typed at the question, each when it is asked
    std::uint32_t stored;
    int exitCode;
  };
  const std::vector<std::string> master = {"--master", "p.zel"};
  const std::vector<Case> cases = {
      {"Ctrl-C, yes", master, "\x03", {"yes\r"}, 3, 0},
      {"Ctrl-D, no after a word that is neither", master, "\x04", {"maybe\r", "n\r"}, 8, 0},
      {"quit, Ctrl-C at the question", master, "quit\r", {"\x03"}, 8, 1},
      {"a script at a terminal, y",
       {"--master", "p.zel", "-c", "edit Sky BlurPasses 3"},
       "",
       {"y\r"},
       3,
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    ornhost::WriteSetup(dir / "p.zel", u"Sky", OrnSettings());
    RunningProcess session(RSM_WORKBENCH, c.args, dir.Path(), {.terminal = true});
    if (c.args.size() == 2) {
      ASSERT_TRUE(session.Await("rsm> "));
      session.Send("edit Sky BlurPasses 3\r");
      ASSERT_TRUE(session.Await("rsm> "));
      session.Send(c.ending);
    }
    for (const std::string& answer : c.answers) {
      ASSERT_TRUE(session.Await(kAsked)) << session.Pending();
      session.Send(answer);
    }
    const int status = session.Finish();
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.exitCode) << session.Pending();
    EXPECT_EQ(ornhost::ReadSetups(dir / "p.zel").at(0).settings.GetBlurPasses(), c.stored);
    // Only a question nobody answered keeps what yes would have saved.
    EXPECT_EQ(std::filesystem::exists(dir / "p.zel.recovered.json"), c.exitCode == 1);
  }
}

}  // namespace
