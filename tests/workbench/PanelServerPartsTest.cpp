// The browser panel's server parts that the browser tests cannot reach: address forms, the JSON
// the page reads, the hand-over of pictures between threads, and the page files built in.
#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "workbench/page/Json.h"
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

TEST(PanelFeed, WaitersSeeEachNewPictureOnceAndWakeWhenClosed) {
  PanelFeed feed;
  std::uint64_t seen = 0;
  std::string picture;
  EXPECT_FALSE(feed.WaitNewer(seen, picture, std::chrono::milliseconds(1)));
  feed.Publish("one");
  ASSERT_TRUE(feed.WaitNewer(seen, picture, std::chrono::milliseconds(1)));
  EXPECT_EQ(picture, "one");
  feed.Publish("one");  // the same picture is no news
  EXPECT_FALSE(feed.WaitNewer(seen, picture, std::chrono::milliseconds(1)));

  std::thread closer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    feed.Close();
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(feed.WaitNewer(seen, picture, std::chrono::seconds(30)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  closer.join();
  EXPECT_TRUE(feed.Closed());
}

TEST(PageFiles, ThePageAndEveryModuleItImportsAreBuiltIn) {
  std::string index;
  std::vector<std::string> paths;
  for (const PageFile& file : PageFiles()) {
    paths.emplace_back(file.path);
    if (file.path == "index.html") index = std::string(file.data);
  }
  ASSERT_NE(index.find("app.js"), std::string::npos);
  for (const char* needed : {"app.js", "server.js", "style.css", "list-view.js", "values-view.js",
                             "compare-view.js", "dialogs.js", "catalogue.js"}) {
    EXPECT_NE(std::find(paths.begin(), paths.end(), needed), paths.end()) << needed;
  }
}

}  // namespace
}  // namespace ornr::workbench
