// The workbench's panel server as a process, against what a page and a hostile local process
// send it: words the command line could not carry, slow and flooding clients, open streams
// beyond the cap, and addresses beyond loopback.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "PanelClient.h"
#include "WorkbenchProcess.h"
#include "host/controls/HostControls.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

std::chrono::milliseconds Since(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

/// A workbench serving the panel on p.zel, which holds Sky and Sea, fed commands on its input.
class PanelWorkbench {
 public:
  explicit PanelWorkbench(const ScratchDir& dir, std::vector<std::string> extraArgs = {},
                          int maxOpenFiles = 0)
      : process_(RSM_WORKBENCH, Args(std::move(extraArgs)), dir.Path(),
                 {.withInput = true, .maxOpenFiles = maxOpenFiles}) {
    // The script's one command marks the end of what the start prints.
    for (std::string line; process_.ReadLine(line) && line != "> modified Sky";) {
      startLines_.push_back(line);
      if (line.starts_with("url: ")) urls_.push_back(ParsePanelUrl(line.substr(5)));
    }
    std::string answer;
    process_.ReadLine(answer);
  }

  const std::vector<std::string>& StartLines() const { return startLines_; }
  const std::vector<PanelUrl>& Urls() const { return urls_; }
  const PanelUrl& Url() const { return urls_.at(0); }

  /// Runs commands at the prompt and returns what they printed.
  std::vector<std::string> Run(const std::string& commands) {
    process_.Send(commands + "modified --sync--\n");
    std::vector<std::string> lines;
    for (std::string line; process_.ReadLine(line) && line != "> modified --sync--";) {
      lines.push_back(line);
    }
    std::string answer;
    process_.ReadLine(answer);
    return lines;
  }

  HttpAnswer Get(const std::string& file, const std::string& hostHeader = "") {
    return Exchange(
        Url().host, Url().port,
        GetRequest(Url().base + file, hostHeader.empty() ? Url().HostHeader() : hostHeader));
  }
  HttpAnswer Post(const std::string& form) {
    return Exchange(Url().host, Url().port,
                    PostRequest(Url().base + "action", Url().HostHeader(), form));
  }

  struct Ending {
    std::vector<std::string> lines;
    int exitCode = -1;
    std::chrono::milliseconds took{0};
  };
  /// Ends the session by a quit at the prompt, or by a signal.
  Ending End(int signal = 0) {
    const auto start = Clock::now();
    if (signal != 0) {
      process_.Kill(signal);
    } else {
      process_.Send("quit\n");
    }
    Ending ending;
    for (std::string line; process_.ReadLine(line);) ending.lines.push_back(line);
    const int status = process_.Wait();
    ending.took = Since(start);
    ending.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return ending;
  }

 private:
  static std::vector<std::string> Args(std::vector<std::string> extra) {
    std::vector<std::string> args = {"--master", "p.zel", "-c", "modified Sky"};
    args.insert(args.end(), extra.begin(), extra.end());
    if (std::none_of(args.begin(), args.end(),
                     [](const std::string& arg) { return arg.starts_with("--panel"); })) {
      args.emplace_back("--panel");
    }
    return args;
  }

  RunningProcess process_;
  std::vector<std::string> startLines_;
  std::vector<PanelUrl> urls_;
};

class PanelServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char16_t* name : {u"Sky", u"Sea"}) {
      ornhost::WriteSetup(dir_ / "p.zel", name, Teskor::ZelPlatform::OrnSettings());
    }
  }
  std::uint32_t StoredSamples(const std::u16string& name) {
    return StoredByName(dir_ / "p.zel")[name].settings.GetMaxSamplesPerPixel();
  }

  ScratchDir dir_;
};

std::string Command(std::initializer_list<std::string> words) {
  std::string form = "action=command";
  for (const std::string& word : words) form += "&w=" + word;
  return form;
}

// A word from the page goes through the checks a typed line goes through, and the page is told
// why a command did not take; nothing of a refused word reaches the file or the transcript raw.
TEST_F(PanelServerTest, PageCommandsPassTheCommandLinesChecksAndTellThePageWhy) {
  PanelWorkbench wb(dir_);
  struct Case {
    std::string form;
    int status;
    std::string bodyPart;
  };
  const Case cases[] = {
      {Command({"rename", "Sky", "a%00b"}), 200, "a NUL character cannot be part of a command"},
      {Command({"edit", "Sky%00x", "MaxSamplesPerPixel", "9"}), 200, "a NUL character"},
      {Command({"rename", "Sky", "Sea"}), 200,
       R"(the setup \"Sky\" was not renamed to \"Sea\": a setup named \"Sea\" already exists)"},
      {Command({"rename", "Sky", "bell%07"}), 200,
       R"(a setup name cannot hold the control character U+0007)"},
      {Command({"save", "Nope"}), 200, R"(no setup named \"Nope\" in the master file)"},
      {"action=select&group=master&name=Sky%00", 400, "holds a NUL character"},
      {Command({"rename", "Sky", "Sky%202"}), 200, R"({"done":true,"errors":[]})"},
      // New with a name: made and renamed in one go; a refused name leaves the module's.
      {Command({"new", "Sea", "Cloud"}), 200, R"({"done":true,"errors":[],"made":"Untitled"})"},
      {Command({"new", "Sea", "Cloud"}), 200,
       R"(a setup named \"Cloud\" already exists"],"made":"Untitled"})"},
      // Nothing to start from: the module makes nothing, and nothing is renamed.
      {Command({"new", "Nope", "Rain"}), 200, R"({"done":true,"errors":[]})"},
  };
  for (const Case& c : cases) {
    const HttpAnswer answer = wb.Post(c.form);
    EXPECT_EQ(answer.status, c.status) << c.form << "\n" << answer.body;
    EXPECT_THAT(answer.body, HasSubstr(c.bodyPart)) << c.form;
  }
  const auto ending = wb.End();
  EXPECT_EQ(ending.exitCode, 1);
  EXPECT_THAT(ending.lines, Contains("> rename Sky a\\u0000b"));
  EXPECT_THAT(ending.lines, Contains("> rename Sky bell\\u0007"));
  EXPECT_THAT(ending.lines, Contains("> rename Untitled Cloud"));
  EXPECT_THAT(ending.lines, Not(Contains(HasSubstr("Rain"))));
  for (const std::string& line : ending.lines) {
    EXPECT_TRUE(std::none_of(line.begin(), line.end(), [](char c) {
      return static_cast<unsigned char>(c) < 0x20;
    })) << line;
  }
  auto stored = StoredByName(dir_ / "p.zel");
  EXPECT_EQ(stored.size(), 4u);
  for (const char16_t* name : {u"Sky 2", u"Sea", u"Cloud", u"Untitled"}) {
    EXPECT_EQ(stored.count(name), 1u);
  }
}

// Only the whole token opens the panel: a token that is a prefix of it, runs past it or differs
// in one place is refused on every route that takes one, the event stream too, and what such a
// request asked for never runs.
TEST_F(PanelServerTest, OnlyTheWholeTokenOpensAnyRoute) {
  PanelWorkbench wb(dir_);
  const std::string& base = wb.Url().base;
  const std::string token = base.substr(1, base.size() - 2);
  ASSERT_GE(token.size(), 16u) << base;
  struct Route {
    std::string path;  // after the token
    std::string form;  // a POST when not empty
  };
  const Route routes[] = {
      {"events", ""},
      {"snapshot", ""},
      {"values?group=master&library=&name=Sky", ""},
      {"history?name=Sky", ""},
      {"diff?ag=master&al=&an=Sky&av=0&bg=master&bl=&bn=Sea&bv=0", ""},
      {"texts.json", ""},
      {"", ""},
      {"index.html", ""},
      {"app.js", ""},
      {"action", Command({"save", "Sea"})},
  };
  const auto ask = [&](const std::string& tokenTried, const Route& route) {
    const std::string path = "/" + tokenTried + "/" + route.path;
    const std::string request = route.form.empty()
                                    ? GetRequest(path, wb.Url().HostHeader())
                                    : PostRequest(path, wb.Url().HostHeader(), route.form);
    // An event stream that opened stays open: its head is all there is to read.
    return Exchange(wb.Url().host, wb.Url().port, request, std::chrono::milliseconds(1500));
  };
  // The same requests with the token itself get through, so a refusal below is the token's.
  for (const Route& route : routes) {
    const Route allowed = route.form.empty() ? route : Route{route.path, Command({"save", "Sky"})};
    const HttpAnswer answer = ask(token, allowed);
    EXPECT_NE(answer.status, 403) << route.path << "\n" << answer.body;
    EXPECT_NE(answer.status, 0) << route.path;
  }

  std::vector<std::string> wrong;
  for (const char c : std::string_view("0123456789abcdef")) wrong.emplace_back(1, c);
  wrong.push_back(token.substr(0, token.size() - 1));
  wrong.push_back(token + token.back());
  wrong.push_back(token + "0");
  for (const std::size_t at : {std::size_t{0}, token.size() / 2, token.size() - 1}) {
    std::string other = token;
    other[at] = other[at] == 'a' ? 'b' : 'a';
    wrong.push_back(other);
  }
  for (const std::string& tried : wrong) {
    for (const Route& route : routes) {
      const HttpAnswer answer = ask(tried, route);
      EXPECT_EQ(answer.status, 403) << tried << "/" << route.path;
      EXPECT_THAT(answer.body.substr(0, 200),
                  HasSubstr("with the token that rsm-workbench printed"))
          << tried << "/" << route.path;
    }
  }
  const auto ending = wb.End();
  EXPECT_THAT(ending.lines, Contains("> save Sky"));
  EXPECT_THAT(ending.lines, Not(Contains(HasSubstr("save Sea"))));
}

/// An open event stream, read as a page reads it.
class EventStreamReader {
 public:
  EventStreamReader(const PanelUrl& url, const std::string& query) {
    fd_ = ConnectTo(url.host, url.port);
    const std::string request = GetRequest(url.base + "events" + query, url.HostHeader());
    send(fd_, request.data(), request.size(), MSG_NOSIGNAL);
  }
  ~EventStreamReader() { close(fd_); }
  /// Reads until what came since the last call holds part, or a few seconds passed; returns what
  /// came.
  std::string ReadUntil(const std::string& part) {
    const auto deadline = Clock::now() + 3s;
    std::string seen;
    while (seen.find(part) == std::string::npos && Clock::now() < deadline) {
      pollfd pfd{fd_, POLLIN, 0};
      if (poll(&pfd, 1, 100) != 1) continue;
      char chunk[4096];
      const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
      if (n <= 0) break;
      seen.append(chunk, static_cast<std::size_t>(n));
    }
    return seen;
  }

 private:
  int fd_ = -1;
};

// A page starts from the snapshot it asks for beside its script, or from the one its stream
// opens with; a stream that starts after a version sends only what came since, and a pick made
// on one page reaches every open page at once.
TEST_F(PanelServerTest, APageStartsFromASnapshotAndEveryOpenPageHearsAPickAtOnce) {
  PanelWorkbench wb(dir_);
  const HttpAnswer snapshot = wb.Get("snapshot");
  ASSERT_EQ(snapshot.status, 200);
  EXPECT_THAT(snapshot.body, StartsWith(R"({"version":)"));
  EXPECT_THAT(snapshot.body, HasSubstr(R"("master":[{"name":"Sky",)"));
  const std::size_t comma = snapshot.body.find(',');
  ASSERT_NE(comma, std::string::npos);
  const std::string version = snapshot.body.substr(11, comma - 11);

  EventStreamReader fresh(wb.Url(), "");
  EXPECT_THAT(fresh.ReadUntil("event: snapshot"), HasSubstr(R"("master":[{"name":"Sky",)"));
  EventStreamReader after(wb.Url(), "?after=" + version);
  EXPECT_THAT(after.ReadUntil("retry: "), Not(HasSubstr("event: snapshot")));

  const std::string picked =
      R"("type":"current","current":{"group":"master","library":"","name":"Sky"})";
  EXPECT_EQ(wb.Post("action=select&group=master&name=Sky").status, 202);
  for (EventStreamReader* page : {&fresh, &after}) {
    const std::string step = page->ReadUntil(picked);
    EXPECT_THAT(step, HasSubstr(picked));
    EXPECT_THAT(step, Not(HasSubstr("event: snapshot")));
  }
  EXPECT_EQ(wb.End().exitCode, 0);
}

// Connections that each send a request's first line and then a header line every few seconds,
// as long as the attack runs; each one the server closes is opened again at once.
class SlowClients {
 public:
  SlowClients(const PanelUrl& url, int count, std::chrono::milliseconds every)
      : url_(url), every_(every), thread_([this, count] { Attack(count); }) {}
  ~SlowClients() { Stop(); }
  /// How long each connection the server closed had lived.
  std::vector<std::chrono::milliseconds> Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return lifetimes_;
  }

 private:
  struct Slow {
    int fd = -1;
    Clock::time_point opened, lastLine;
  };
  Slow Open() {
    Slow slow{ConnectTo(url_.host, url_.port), Clock::now(), Clock::now()};
    const std::string start =
        "GET " + url_.base + " HTTP/1.1\r\nHost: " + url_.HostHeader() + "\r\n";
    if (slow.fd >= 0) send(slow.fd, start.data(), start.size(), MSG_NOSIGNAL);
    return slow;
  }
  void Attack(int count) {
    std::vector<Slow> open;
    for (int i = 0; i < count; ++i) open.push_back(Open());
    while (!stop_) {
      std::this_thread::sleep_for(50ms);
      for (Slow& slow : open) {
        pollfd pfd{slow.fd, POLLIN, 0};
        if (slow.fd >= 0 && poll(&pfd, 1, 0) == 1) {
          char discard[1024];
          while (recv(slow.fd, discard, sizeof discard, MSG_DONTWAIT) > 0) {
          }
          lifetimes_.push_back(Since(slow.opened));
          close(slow.fd);
          slow = Open();
          continue;
        }
        if (Clock::now() - slow.lastLine >= every_) {
          send(slow.fd, "X-Slow: still\r\n", 15, MSG_NOSIGNAL);
          slow.lastLine = Clock::now();
        }
      }
    }
    for (const Slow& slow : open) close(slow.fd);
  }

  PanelUrl url_;
  std::chrono::milliseconds every_;
  std::atomic<bool> stop_{false};
  std::vector<std::chrono::milliseconds> lifetimes_;
  std::thread thread_;
};

// Thirty slow clients once took every thread of the server: the page's requests timed out and
// quit waited until the attack stopped.
TEST_F(PanelServerTest, SlowClientsAreClosedWithinSecondsAndHoldUpNeitherThePageNorQuit) {
  PanelWorkbench wb(dir_);
  SlowClients attack(wb.Url(), 30, 3s);
  std::chrono::milliseconds slowest{0};
  int saves = 0;
  const std::regex editAnswer(R"(\{"done":true,"errors":\[\],"rev":([0-9]+)\})");
  unsigned long long lastRevision = 0;
  const auto start = Clock::now();
  for (int round = 1; Since(start) < 7s; ++round) {
    const std::string samples = std::to_string(100 + round);
    const HttpAnswer page = wb.Get("index.html");
    const HttpAnswer edit = wb.Post(Command({"edit", "Sky", "MaxSamplesPerPixel", samples}));
    const HttpAnswer save = wb.Post(Command({"save", "Sky"}));
    EXPECT_EQ(page.status, 200);
    // An edit's answer gives the revision of the values with it: a page's undo relies on it.
    std::smatch revision;
    ASSERT_TRUE(std::regex_match(edit.body, revision, editAnswer)) << edit.body;
    EXPECT_GT(std::stoull(revision[1]), lastRevision);
    lastRevision = std::stoull(revision[1]);
    EXPECT_EQ(save.body, R"({"done":true,"errors":[]})");
    slowest = std::max({slowest, page.took, edit.took, save.took});
    ++saves;
    EXPECT_EQ(StoredSamples(u"Sky"), 100u + round);
    std::this_thread::sleep_for(200ms);
  }
  // The attack goes on while the session ends.
  const auto ending = wb.End();
  const auto lifetimes = attack.Stop();
  std::printf("[ figures ] slow clients: %d saves, slowest page answer %lld ms, quit %lld ms\n",
              saves, static_cast<long long>(slowest.count()),
              static_cast<long long>(ending.took.count()));
  EXPECT_LT(slowest, 1s);
  EXPECT_LT(ending.took, 2s);
  EXPECT_EQ(ending.exitCode, 0);
  // Each of the first thirty was closed after a few seconds, the request still unfinished.
  ASSERT_GE(lifetimes.size(), 30u);
  for (const auto lived : lifetimes) EXPECT_LT(lived, 6500ms);
}

// Idle connections once took every file handle of the process: saves failed, and the edit that
// the recovery file should have kept was lost.
TEST_F(PanelServerTest, AFloodOfConnectionsLeavesTheFileHandlesThatSavesAndRecoveryNeed) {
  constexpr int kMaxOpenFiles = 64;
  PanelWorkbench wb(dir_, {}, kMaxOpenFiles);
  std::vector<int> flood;
  for (int i = 0; i < 5 * kMaxOpenFiles; ++i) {
    flood.push_back(ConnectTo(wb.Url().host, wb.Url().port, false));
  }
  std::this_thread::sleep_for(300ms);
  // Refused or served, the page hears at once.
  const HttpAnswer page = wb.Get("index.html");
  EXPECT_NE(page.status, 0);
  EXPECT_LT(page.took, 1s);
  for (int i = 1; i <= 5; ++i) {
    const auto lines = wb.Run("edit Sky MaxSamplesPerPixel " + std::to_string(i) + "\nsave Sky\n");
    EXPECT_THAT(lines, Not(Contains(StartsWith("error:")))) << i;
    EXPECT_EQ(StoredSamples(u"Sky"), static_cast<std::uint32_t>(i));
  }
  wb.Run("edit Sky MaxSamplesPerPixel 4242\n");
  const auto ending = wb.End(SIGTERM);
  for (const int fd : flood) close(fd);
  std::printf("[ figures ] flood of %zu connections under %d file handles: SIGTERM %lld ms\n",
              flood.size(), kMaxOpenFiles, static_cast<long long>(ending.took.count()));
  EXPECT_LT(ending.took, 2s);
  EXPECT_THAT(ending.lines, Not(Contains(HasSubstr("Too many open files"))));
  // Nobody answered the close question: the edit waits in the recovery file.
  std::ifstream recovery(dir_ / "p.zel.recovered.json");
  ASSERT_TRUE(recovery) << testing::PrintToString(ending.lines);
  const std::string text{std::istreambuf_iterator<char>(recovery), {}};
  EXPECT_THAT(text, HasSubstr("4242"));
  EXPECT_EQ(StoredSamples(u"Sky"), 5u);
}

// Every open page holds a worker for its stream: streams beyond the cap are refused at once,
// and requests still have workers of their own.
TEST_F(PanelServerTest, EventStreamsBeyondTheCapAreRefusedAtOnceAndThePageStillAnswers) {
  PanelWorkbench wb(dir_);
  std::vector<int> streams;
  for (int i = 0; i < 16; ++i) {
    const int fd = ConnectTo(wb.Url().host, wb.Url().port);
    const std::string request = GetRequest(wb.Url().base + "events", wb.Url().HostHeader());
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    pollfd pfd{fd, POLLIN, 0};
    ASSERT_EQ(poll(&pfd, 1, 5000), 1) << "stream " << i;
    char head[512] = {};
    ASSERT_GT(recv(fd, head, sizeof head - 1, 0), 0);
    EXPECT_THAT(head, StartsWith("HTTP/1.1 200"));
    streams.push_back(fd);
  }
  const HttpAnswer refused = wb.Get("events");
  EXPECT_EQ(refused.status, 503);
  EXPECT_THAT(refused.body, HasSubstr("pages are open already"));
  EXPECT_LT(refused.took, 1s);
  const HttpAnswer page = wb.Get("index.html");
  EXPECT_EQ(page.status, 200);
  EXPECT_LT(page.took, 1s);
  const auto ending = wb.End();
  EXPECT_LT(ending.took, 2s);
  for (const int fd : streams) close(fd);
}

// Whether the server closes the connection (after what it has to say) before the deadline.
bool ClosedByPeer(int fd, Clock::time_point deadline) {
  for (;;) {
    char discard[512];
    const ssize_t n = recv(fd, discard, sizeof discard, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno == ECONNRESET)) return true;
    if (n > 0) continue;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd pfd{fd, POLLIN, 0};
    poll(&pfd, 1, static_cast<int>(left.count()));
  }
}

// Connections that never showed the token once held every slot, so that the person with the
// token was refused: now they give way to a request that has it, and leave within seconds.
TEST_F(PanelServerTest, ClientsWithoutTheTokenGiveWayToThePage) {
  PanelWorkbench wb(dir_);
  const std::string start = "GET /index.html HTTP/1.1\r\nHost: " + wb.Url().HostHeader() + "\r\n";
  std::vector<int> tokenless;
  for (int i = 0; i < 300; ++i) {
    const int fd = ConnectTo(wb.Url().host, wb.Url().port);
    ASSERT_GE(fd, 0) << i;
    send(fd, start.data(), start.size(), MSG_NOSIGNAL);
    tokenless.push_back(fd);
  }
  const auto opened = Clock::now();
  std::chrono::milliseconds slowest{0};
  for (int round = 0; round < 3; ++round) {
    const HttpAnswer page = wb.Get("index.html");
    EXPECT_EQ(page.status, 200) << page.body;
    slowest = std::max(slowest, page.took);
  }
  std::printf("[ figures ] 300 clients without the token: slowest page answer %lld ms\n",
              static_cast<long long>(slowest.count()));
  EXPECT_LT(slowest, 1s);
  // Each was closed by the server, whether it gave way or ran out of time.
  std::size_t closed = 0;
  for (const int fd : tokenless) {
    if (ClosedByPeer(fd, opened + 8s)) ++closed;
    close(fd);
  }
  EXPECT_EQ(closed, tokenless.size());
  EXPECT_EQ(wb.End().exitCode, 0);
}

// Pages whose streams were cut off by a reset once kept their slots until their stream next
// wrote, some ten seconds later, and a new page was refused meanwhile.
TEST_F(PanelServerTest, AStreamCutOffByAResetFreesItsSlotAtOnce) {
  PanelWorkbench wb(dir_);
  // A stream, read until its snapshot has come (or a refusal): from then on it waits for steps.
  const auto openStream = [&](std::string& head) {
    const int fd = ConnectTo(wb.Url().host, wb.Url().port);
    const std::string request = GetRequest(wb.Url().base + "events", wb.Url().HostHeader());
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    head.clear();
    const auto deadline = Clock::now() + 5s;
    while (head.find("event: snapshot") == std::string::npos && Clock::now() < deadline) {
      pollfd pfd{fd, POLLIN, 0};
      char text[4096];
      if (poll(&pfd, 1, 100) != 1) continue;
      const ssize_t n = recv(fd, text, sizeof text, 0);
      if (n <= 0) break;
      head.append(text, static_cast<std::size_t>(n));
    }
    return fd;
  };
  std::vector<int> streams;
  for (int i = 0; i < 16; ++i) {
    std::string head;
    streams.push_back(openStream(head));
    ASSERT_THAT(head, StartsWith("HTTP/1.1 200")) << "stream " << i;
    ASSERT_THAT(head, HasSubstr("event: snapshot")) << "stream " << i;
  }
  for (const int fd : streams) {
    const linger reset{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    close(fd);
  }
  const auto start = Clock::now();
  std::string head;
  int fd = openStream(head);
  while (!head.starts_with("HTTP/1.1 200") && Since(start) < 5s) {
    close(fd);
    std::this_thread::sleep_for(50ms);
    fd = openStream(head);
  }
  const auto took = Since(start);
  std::printf("[ figures ] a new page's stream after 16 were reset: %lld ms\n",
              static_cast<long long>(took.count()));
  EXPECT_THAT(head, StartsWith("HTTP/1.1 200"));
  EXPECT_LT(took, 2s);
  close(fd);
  EXPECT_EQ(wb.End().exitCode, 0);
}

// A panel beyond loopback is plain HTTP for anyone on the network: only on request, with a
// warning, and answering only requests that name the address they came to.
TEST_F(PanelServerTest, ANetworkAddressNeedsItsOptionAndHostMustNameTheAddressBound) {
  const ProcessResult refused =
      RunProgram(RSM_WORKBENCH, {"--master", "p.zel", "--panel=0.0.0.0:0"}, dir_.Path());
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_THAT(refused.out, HasSubstr("error: the panel listens only on a loopback address unless "
                                     "--panel-allow-network is given"));
  EXPECT_THAT(refused.out, Not(HasSubstr("url:")));

  PanelWorkbench wb(dir_, {"--panel=0.0.0.0:0", "--panel-allow-network"});
  const int port = wb.Url().port;
  EXPECT_THAT(wb.StartLines(),
              Contains(StartsWith("warning: the panel is open to the network on every interface "
                                  "(0.0.0.0:" +
                                  std::to_string(port) +
                                  ") over plain HTTP: its token travels "
                                  "in clear")));
  EXPECT_EQ(wb.Url().host, "127.0.0.1");
  const std::string loopback = "127.0.0.1:" + std::to_string(port);
  const std::string elsewhere = "10.11.12.13:" + std::to_string(port);
  struct Case {
    std::string request;
    int status;
  };
  const std::string index = wb.Url().base + "index.html";
  for (const Case& c :
       {Case{GetRequest(index, loopback), 200},
        Case{GetRequest(index, "localhost:" + std::to_string(port)), 200},
        Case{GetRequest(index, elsewhere), 403},
        Case{PostRequest(wb.Url().base + "action", loopback, Command({"save", "Sky"}),
                         "Origin: http://" + elsewhere + "\r\n"),
             403}}) {
    EXPECT_EQ(Exchange("127.0.0.1", port, c.request).status, c.status) << c.request;
  }
  // Through another interface, only that interface's address names the panel.
  for (const PanelUrl& url : wb.Urls()) {
    if (url.host == "127.0.0.1") continue;
    EXPECT_EQ(Exchange(url.host, port, GetRequest(index, url.HostHeader())).status, 200)
        << url.host;
    EXPECT_EQ(Exchange(url.host, port, GetRequest(index, loopback)).status, 403) << url.host;
  }
  EXPECT_EQ(wb.End().exitCode, 0);
}

}  // namespace
