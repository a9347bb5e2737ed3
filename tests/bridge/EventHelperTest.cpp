#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ornr/IPrismetWrapper.h"
#include "panel/Panel.h"

namespace {

using Teskor::RenderSetup::PropertyChangedEventArgs;
using Teskor::RenderSetup::View::MainPanel;

struct Call {
  int callback;
  std::u16string setup;
  std::string property;
  bool operator==(const Call&) const = default;
};
std::vector<Call> g_calls;

// Callback 0 throws; the others record which of them was called.
template <int N>
void Record(const char16_t* setup, const char* property) {
  if (N == 0) throw std::runtime_error("callback broke");
  g_calls.push_back({N, setup, property});
}

class EventHelperTest : public ::testing::Test {
 protected:
  void SetUp() override { MainPanel::Reset(); }

  void Take(const std::u16string& name) {
    bridge_->ChangeRenderSetupViewModel((u"<RenderSetupViewModel><SetupsFromMasterFile Name=\"" +
                                         name + u"\"/></RenderSetupViewModel>")
                                            .c_str());
  }
  // Raised as the panel raises it; the panel's own edits offer only its properties, and these
  // names are about the buffers.
  bool Edit(const std::u16string& setup, const std::string& property) {
    auto* found = model_.GetSetupFromCurrentZel(setup);
    if (found == nullptr) return false;
    model_.RaiseRenderSetupChanged(*found, {std::u16string(property.begin(), property.end())});
    return true;
  }

  IPrismetWrapper* bridge_ = GetIPrismetWrapper();
  Teskor::RenderSetup::ViewModel::RenderSetupViewModel& model_ = MainPanel::Instance().ViewModel();
};

TEST_F(EventHelperTest, EachRegistrationSubscribesAgainAndTheLatestCallbackServesAll) {
  Take(u"A");
  bridge_->RegisterEventsHandler(Record<1>);
  g_calls.clear();
  ASSERT_TRUE(Edit(u"A", "DoShadows"));
  EXPECT_EQ(g_calls, (std::vector<Call>{{1, u"A", "DoShadows"}}));

  bridge_->RegisterEventsHandler(Record<2>);
  g_calls.clear();
  Edit(u"A", "Stereo");
  EXPECT_EQ(g_calls, (std::vector<Call>{{2, u"A", "Stereo"}, {2, u"A", "Stereo"}}));
  EXPECT_EQ(model_.OnRenderSetupChangedSubscriptions(), 2U);

  // Subscriptions outlive the bridge object; a null callback silences them all.
  DeleteIPrismetWrapperInstance();
  g_calls.clear();
  model_.RaiseRenderSetupChanged(*model_.GetSetupFromCurrentZel(u"A"),
                                 PropertyChangedEventArgs{std::nullopt});
  EXPECT_EQ(g_calls, (std::vector<Call>{{2, u"A", ""}, {2, u"A", ""}}));
  GetIPrismetWrapper()->RegisterEventsHandler(nullptr);
  EXPECT_EQ(GetIPrismetWrapper(), GetIPrismetWrapper());
  Edit(u"A", "Stereo");
  EXPECT_EQ(g_calls.size(), 2U);

  GetIPrismetWrapper()->RegisterEventsHandler(Record<0>);
  testing::internal::CaptureStderr();
  EXPECT_NO_THROW(Edit(u"A", "DoShadows"));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("callback broke"), std::string::npos);
}

TEST_F(EventHelperTest, NamesThatDoNotFitTheBuffersArriveEmpty) {
  bridge_->RegisterEventsHandler(Record<1>);
  for (const auto& [setupLength, propertyLength] : std::vector<std::pair<std::size_t, std::size_t>>{
           {254, 98}, {255, 99}, {254, 99}, {255, 98}}) {
    const std::u16string setup(setupLength, u'n');
    const std::string property(propertyLength, 'p');
    Take(setup);
    g_calls.clear();
    ASSERT_TRUE(Edit(setup, property));
    EXPECT_EQ(g_calls, (std::vector<Call>{{1, setupLength <= 254 ? setup : u"",
                                           propertyLength <= 98 ? property : ""}}))
        << setupLength << "/" << propertyLength;
  }
}

}  // namespace
