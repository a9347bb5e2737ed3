// The browser panel's server parts that the browser tests cannot reach: address forms, the JSON
// the page reads, the hand-over of steps, queries and numbered actions between threads, and the
// page files built in.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "PanelClient.h"
#include "workbench/page/Json.h"
#include "workbench/page/PageActions.h"
#include "workbench/page/PageFiles.h"
#include "workbench/page/PanelFeed.h"
#include "workbench/page/PanelServer.h"

namespace ornr::workbench {
namespace {

TEST(PanelAddress, FormsAndRefusals) {
  struct Case {
    const char* text;
    const char* host;
    int port;
  };
  for (const Case& c : {Case{"", "127.0.0.1", 0}, Case{"0.0.0.0:8080", "0.0.0.0", 8080},
                        Case{":9000", "127.0.0.1", 9000}, Case{"192.168.1.2:", "192.168.1.2", 0},
                        Case{"[::1]:7000", "::1", 7000}}) {
    const PanelAddress address = ParsePanelAddress(c.text);
    EXPECT_EQ(address.host, c.host) << c.text;
    EXPECT_EQ(address.port, c.port) << c.text;
  }
  for (const char* bad : {"localhost", "1.2.3.4:x", "1.2.3.4:65536", "1.2.3.4:-1", "[::1"}) {
    EXPECT_THROW(ParsePanelAddress(bad), PanelServerError) << bad;
  }
}

TEST(JsonWriter, EscapesWhatJsonMustAndKeepsEveryCodeUnit) {
  JsonWriter json;
  json.BeginObject()
      .Key("a")
      .String(u"\"\\\n\x01 é 😀")
      .Key("lone")
      .String(std::u16string(1, u'\xD800') + u"x")
      .Key("list")
      .BeginArray()
      .Number(-3)
      .Bool(true)
      .Null()
      .BeginArray()
      .EndArray()
      .EndArray()
      .Key("bad utf8")
      .String(std::string("\xFF"))
      .EndObject();
  EXPECT_EQ(json.Text(),
            "{\"a\":\"\\\"\\\\\\u000a\\u0001 é 😀\",\"lone\":\"\\ud800x\","
            "\"list\":[-3,true,null,[]],\"bad utf8\":\"\xEF\xBF\xBD\"}");
}

TEST(PanelFeed, AWaiterGetsTheStepsAfterItsOwnOrIsToldToStartAfresh) {
  // Keeps three steps, and no more than 12 bytes beyond the last.
  PanelFeed feed(3, 12);
  for (const char* step : {"one", "two", "three", "four"}) feed.Publish(step);
  EXPECT_EQ(feed.Version(), 4U);
  struct Case {
    std::uint64_t after;
    PanelFeed::Waited waited;
    std::vector<std::string> steps;
  };
  for (const Case& c :
       {Case{1, PanelFeed::Waited::Steps, {"two", "three", "four"}},
        Case{3, PanelFeed::Waited::Steps, {"four"}}, Case{4, PanelFeed::Waited::Nothing, {}},
        Case{0, PanelFeed::Waited::Gap, {}},  // "one" is no longer kept
        Case{9, PanelFeed::Waited::Gap, {}}}) {
    std::vector<PanelFeed::Step> steps;
    EXPECT_EQ(feed.WaitAfter(c.after, steps, std::chrono::milliseconds(1)), c.waited) << c.after;
    std::vector<std::string> texts;
    for (const auto& step : steps) texts.push_back(*step.json);
    EXPECT_EQ(texts, c.steps) << c.after;
  }
  // A step bigger than the bytes kept is still kept, alone.
  feed.Publish(std::string(20, 'x'));
  std::vector<PanelFeed::Step> steps;
  EXPECT_EQ(feed.WaitAfter(3, steps, std::chrono::milliseconds(1)), PanelFeed::Waited::Gap);
  EXPECT_EQ(feed.WaitAfter(4, steps, std::chrono::milliseconds(1)), PanelFeed::Waited::Steps);
  ASSERT_EQ(steps.size(), 1U);
  EXPECT_EQ(steps[0].version, 5U);
}

TEST(PanelFeed, AClosedFeedHandsOutWhatIsLeftThenWakesEveryWaiter) {
  PanelFeed feed;
  feed.Publish("last");
  std::thread closer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    feed.Close();
  });
  std::vector<PanelFeed::Step> steps;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(feed.WaitAfter(1, steps, std::chrono::seconds(30)), PanelFeed::Waited::Closed);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  closer.join();
  EXPECT_EQ(feed.WaitAfter(0, steps, std::chrono::seconds(30)), PanelFeed::Waited::Steps);
  EXPECT_FALSE(feed.WaitAnswer(feed.Ask({"values", {}}), std::chrono::seconds(30)));
}

TEST(PanelFeed, QueriesAreAnsweredOnTheThreadThatAnswersWithTheVersionOfThatMoment) {
  PanelFeed feed;
  feed.Publish("step");
  const std::uint64_t snapshot = feed.Ask({"snapshot", {}});
  const std::uint64_t values = feed.Ask({"values", {"master", "", "Sky"}});
  std::thread asker([&] {
    // Nobody answers this one in time.
    EXPECT_FALSE(feed.WaitAnswer(feed.Ask({"late", {}}), std::chrono::milliseconds(1)));
  });
  asker.join();
  std::vector<std::string> asked;
  feed.AnswerAll([&](const PanelFeed::Query& query) -> std::optional<std::string> {
    asked.push_back(query.what);
    if (query.what != "snapshot") return std::nullopt;
    feed.Publish("what was pending");
    return "everything";
  });
  EXPECT_EQ(asked, (std::vector<std::string>{"snapshot", "values"}));
  const auto first = feed.WaitAnswer(snapshot, std::chrono::seconds(1));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->text, "everything");
  EXPECT_EQ(first->version, 2U);
  const auto second = feed.WaitAnswer(values, std::chrono::seconds(1));
  ASSERT_TRUE(second);
  EXPECT_FALSE(second->text);
}

// A session too busy to make the page's first snapshot sends the page to its event stream with
// No Content, which the page expects, rather than an error status that a browser logs as the
// page's fault.
TEST(PanelServerSnapshot, ABusySessionAnswersWithNoContent) {
  PanelFeed feed;
  PageActionQueue actions;
  const PanelServer server(ParsePanelAddress(""), feed, actions);
  const PanelUrl url = ParsePanelUrl(server.Url());
  const HttpAnswer answer =
      Exchange(url.host, url.port, GetRequest(url.base + "snapshot", url.HostHeader()),
               std::chrono::seconds(30));
  EXPECT_EQ(answer.status, 204);
  EXPECT_EQ(answer.body, "");
}

// A query the session does not answer in time is still queued, not refused: the page asks again,
// and no error status reaches the browser's console.
TEST(PanelServerSnapshot, AQueryABusySessionDoesNotAnswerIsAcceptedToBeAskedAgain) {
  PanelFeed feed;
  PageActionQueue actions;
  const PanelServer server(ParsePanelAddress(""), feed, actions);
  const PanelUrl url = ParsePanelUrl(server.Url());
  const HttpAnswer answer =
      Exchange(url.host, url.port, GetRequest(url.base + "history?name=Lobby", url.HostHeader()),
               std::chrono::seconds(30));
  EXPECT_EQ(answer.status, 202);
  EXPECT_NE(answer.body.find("busy"), std::string::npos) << answer.body;
}

// Each arrival as (page, number): stop() says yes at once, so an action runs only when it is its
// turn the moment it arrives; one whose push throws has had its turn all the same.
TEST(PageActionOrder, AnActionRunsOnlyAfterItsPagesEarlierOnes) {
  struct Arrival {
    const char* page;
    std::uint64_t seq;
    bool throws;
    bool runs;
  };
  const Arrival arrivals[] = {
      {"a", 1, false, true}, {"a", 3, false, false}, {"a", 2, false, true},
      {"a", 3, false, true}, {"b", 2, false, false},  // other pages keep their own count
      {"b", 1, false, true}, {"b", 2, false, true},  {"a", 1, false, true},  // a late one
      {"c", 1, true, true},  {"c", 2, false, true},  {"c", 4, false, false},
  };
  PageActionOrder order(std::chrono::hours(1));
  for (const Arrival& arrival : arrivals) {
    SCOPED_TRACE(std::string(arrival.page) + " " + std::to_string(arrival.seq));
    bool pushed = false;
    const auto push = [&] {
      pushed = true;
      if (arrival.throws) throw std::runtime_error("refused");
    };
    bool ran = false;
    try {
      ran = order.InTurn(arrival.page, arrival.seq, push, [] { return true; });
    } catch (const std::runtime_error&) {
      ran = true;
    }
    EXPECT_EQ(ran, arrival.runs);
    EXPECT_EQ(pushed, arrival.runs);
  }
}

// Actions that arrive last first, each on its own thread, are pushed in the page's order; one
// whose predecessor never comes goes after the gap.
TEST(PageActionOrder, ActionsArrivingInReverseArePushedInOrder) {
  PageActionOrder order(std::chrono::hours(1));
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::uint64_t> pushed;
  std::vector<bool> waiting(4, false);
  std::vector<std::thread> threads;
  for (std::uint64_t seq = 3; seq >= 1; --seq) {
    threads.emplace_back([&, seq] {
      order.InTurn(
          "page", seq,
          [&] {
            const std::lock_guard lock(mutex);
            pushed.push_back(seq);
          },
          [&] {
            const std::lock_guard lock(mutex);
            waiting[seq] = true;
            changed.notify_all();
            return false;
          });
    });
    if (seq == 1) break;
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(60), [&] { return waiting[seq]; }));
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(pushed, (std::vector<std::uint64_t>{1, 2, 3}));

  // With room for one page, a second makes the first forget its count: its next action waits.
  PageActionOrder small(std::chrono::hours(1), 1);
  const auto now = [](PageActionOrder& o, const char* page, std::uint64_t seq) {
    return o.InTurn(
        page, seq, [] {}, [] { return true; });
  };
  EXPECT_TRUE(now(small, "a", 1));
  EXPECT_TRUE(now(small, "a", 2));
  EXPECT_TRUE(now(small, "b", 1));
  EXPECT_FALSE(now(small, "a", 3));

  PageActionOrder gap(std::chrono::milliseconds(1));
  bool late = false;
  EXPECT_TRUE(gap.InTurn(
      "page", 2, [&] { late = true; }, [] { return false; }));
  EXPECT_TRUE(late);
  EXPECT_TRUE(gap.InTurn(
      "page", 3, [] {}, [] { return true; }));
}

// A bad number is refused and queues nothing; a missing one holds up its page for a moment only.
TEST(PanelServerActions, NumberedActionsAreQueuedInTheirPagesOrder) {
  PanelFeed feed;
  PageActionQueue actions;
  const PanelServer server(ParsePanelAddress(""), feed, actions);
  const PanelUrl url = ParsePanelUrl(server.Url());
  const auto post = [&](const std::string& form) {
    return Exchange(url.host, url.port, PostRequest(url.base + "action", url.HostHeader(), form),
                    std::chrono::seconds(60));
  };
  for (const char* bad : {"page=ab&seq=0", "page=a%2Fb&seq=1", "page=ab&seq=x", "seq=1"}) {
    const HttpAnswer answer = post(std::string("action=dismiss&id=7&") + bad);
    EXPECT_EQ(answer.status, 400) << bad;
  }
  EXPECT_TRUE(actions.TakeAll().empty());
  // One whose predecessor never comes is queued after the gap, not lost; the next is not held.
  EXPECT_EQ(post("action=dismiss&id=2&page=ab&seq=2").status, 202);
  EXPECT_EQ(post("action=dismiss&id=3&page=ab&seq=3").status, 202);
  std::vector<std::string> ids;
  for (const PageAction& action : actions.TakeAll()) ids.push_back(action.args.at(0));
  EXPECT_EQ(ids, (std::vector<std::string>{"2", "3"}));
}

// Whether the modules go in one by one or bundled into one, whatever the page asks for by name
// is built in: what index.html loads and every module a built-in script imports.
TEST(PageFiles, ThePageAndEveryModuleItImportsAreBuiltIn) {
  std::map<std::string, std::string, std::less<>> files;
  for (const PageFile& file : PageFiles()) files.emplace(file.path, file.data);
  ASSERT_TRUE(files.contains("index.html"));
  std::vector<std::string> wanted;
  const std::regex loaded(R"re((?:src|href)="([a-z][a-z0-9-]*\.(?:js|css))")re");
  const std::string& index = files["index.html"];
  for (std::sregex_iterator it(index.begin(), index.end(), loaded), end; it != end; ++it) {
    wanted.push_back((*it)[1]);
  }
  EXPECT_NE(std::find(wanted.begin(), wanted.end(), "app.js"), wanted.end());
  const std::regex imported(R"re(\bfrom\s+['"]\./([a-z][a-z0-9-]*\.js)['"])re");
  std::size_t scripts = 0;
  for (const auto& [path, text] : files) {
    if (!path.ends_with(".js")) continue;
    ++scripts;
    for (std::sregex_iterator it(text.begin(), text.end(), imported), end; it != end; ++it) {
      wanted.push_back((*it)[1]);
    }
  }
  EXPECT_GT(scripts, 0u);
  for (const std::string& name : wanted) EXPECT_TRUE(files.contains(name)) << name;
}

}  // namespace
}  // namespace ornr::workbench
