#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ornr/IPrismetWrapper.h"
#include "panel/Panel.h"

namespace {

using Teskor::RenderSetup::PropertyChangedEventArgs;
using Teskor::RenderSetup::View::MainPanel;
using Teskor::RenderSetup::ViewModel::Group;
using Teskor::RenderSetup::ViewModel::RenderSetupViewModel;

struct Call {
  int callback;
  std::u16string setup;
  std::string property;
  bool operator==(const Call&) const = default;
};
std::vector<Call> g_calls;

void First(const char16_t* setup, const char* property) {
  g_calls.push_back({1, setup, property});
}
void Second(const char16_t* setup, const char* property) {
  g_calls.push_back({2, setup, property});
}
// Reads the edited value back while the panel's event is still running.
void ReadBack(const char16_t* setup, const char* property) {
  bool value = false;
  GetIPrismetWrapper()->GetRenderSetupPropertyValue(setup, property, value, false);
  g_calls.push_back({value ? 3 : 0, setup, property});
}
void Throwing(const char16_t*, const char*) {
  throw std::runtime_error("callback broke");
}

class EventHelperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MainPanel::Reset();
    g_calls.clear();
  }
  void TearDown() override { MainPanel::Reset(); }

  void Take(const std::u16string& name) {
    const std::u16string xml = u"<RenderSetupViewModel><SetupsFromMasterFile Name=\"" + name +
                               u"\"><DoShadows>false</DoShadows></SetupsFromMasterFile>"
                               u"</RenderSetupViewModel>";
    bridge_->ChangeRenderSetupViewModel(xml.c_str());
  }

  IPrismetWrapper* bridge_ = GetIPrismetWrapper();
  RenderSetupViewModel& model_ = MainPanel::Instance().ViewModel();
};

TEST_F(EventHelperTest, EveryRegistrationAddsASubscriptionForTheLatestCallback) {
  Take(u"A");
  bridge_->RegisterEventsHandler(First);
  ASSERT_TRUE(model_.EditProperty(Group::MasterFile, u"A", "DoShadows", u"true"));
  EXPECT_EQ(g_calls, (std::vector<Call>{{1, u"A", "DoShadows"}}));

  bridge_->RegisterEventsHandler(Second);
  g_calls.clear();
  model_.EditProperty(Group::MasterFile, u"A", "Stereo", u"true");
  EXPECT_EQ(g_calls, (std::vector<Call>{{2, u"A", "Stereo"}, {2, u"A", "Stereo"}}));
  EXPECT_EQ(model_.OnRenderSetupChangedSubscriptions(), 2U);

  DeleteIPrismetWrapperInstance();
  g_calls.clear();
  model_.RaiseRenderSetupChanged(*model_.GetSetupFromCurrentZel(u"A"),
                                 PropertyChangedEventArgs{std::nullopt});
  EXPECT_EQ(g_calls, (std::vector<Call>{{2, u"A", ""}, {2, u"A", ""}}));
  GetIPrismetWrapper()->RegisterEventsHandler(nullptr);
  model_.EditProperty(Group::MasterFile, u"A", "Stereo", u"false");
  EXPECT_EQ(g_calls.size(), 2U);
}

TEST_F(EventHelperTest, NamesThatDoNotFitTheBuffersArriveEmpty) {
  struct Case {
    std::size_t setupLength;
    std::size_t propertyLength;
  };
  bridge_->RegisterEventsHandler(First);
  for (const Case& c : {Case{254, 98}, Case{255, 99}, Case{254, 99}, Case{255, 98}}) {
    const std::u16string setup(c.setupLength, u'n');
    const std::string property(c.propertyLength, 'p');
    Take(setup);
    g_calls.clear();
    ASSERT_TRUE(model_.EditProperty(Group::MasterFile, setup, property, u"x"));
    EXPECT_EQ(g_calls, (std::vector<Call>{{1, c.setupLength <= 254 ? setup : u"",
                                           c.propertyLength <= 98 ? property : ""}}))
        << c.setupLength << "/" << c.propertyLength;
  }
}

TEST_F(EventHelperTest, CallbackReadsTheNewValueAndCannotBreakTheEvent) {
  Take(u"A");
  bridge_->RegisterEventsHandler(ReadBack);
  model_.EditProperty(Group::MasterFile, u"A", "DoShadows", u"true");
  EXPECT_EQ(g_calls, (std::vector<Call>{{3, u"A", "DoShadows"}}));

  bridge_->RegisterEventsHandler(Throwing);
  testing::internal::CaptureStderr();
  EXPECT_NO_THROW(model_.EditProperty(Group::MasterFile, u"A", "DoShadows", u"false"));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("callback broke"), std::string::npos);
}

}  // namespace
