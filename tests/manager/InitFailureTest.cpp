// A view-model document that cannot be made: ornR_Init stops there and nothing escapes.
#include <gtest/gtest.h>

#include <algorithm>

#include "host/controls/HostControls.h"
#include "ornr/ornr.h"
#include "panel/Panel.h"
#include "viewmodel/ViewModelDocument.h"

namespace {

TEST(InitFailureTest, InitStopsAfterTheDocumentAndLaterCallsStayHarmless) {
  ornhost::ResetAll();
  Teskor::RenderSetup::View::MainPanel::Reset();
  ornr::SetDocumentFactory([](std::string_view) { return std::unique_ptr<pugi::xml_document>(); });
  ornhost::RecordCalls(true);
  ornhost::ClearCallLog();
  ornR_Init();
  const auto& log = ornhost::CallLog();
  EXPECT_NE(std::find(log.begin(), log.end(), "OrnManager::InitializeOrn"), log.end());
  EXPECT_EQ(std::find(log.begin(), log.end(), "OrnSetupManager::InitForFile"), log.end());
  EXPECT_EQ(ornr::GetViewModelDocument(), nullptr);
  EXPECT_EQ(Teskor::RenderSetup::View::MainPanel::Instance()
                .ViewModel()
                .OnRenderSetupChangedSubscriptions(),
            0u)
      << "the change callback is not registered";

  int documents = 0;
  Teskor::RenderSetup::View::MainPanel::SetDocumentObserver(
      [&](const Teskor::RenderSetup::TextView&) { ++documents; });
  ornR_LoadAllSetups(false);
  EXPECT_EQ(ornR_DuplicateSetup(u"Nothing"), 0);
  EXPECT_EQ(documents, 0);
  ornR_Release();

  ornr::SetDocumentFactory({});
  ornR_Init();
  EXPECT_NE(ornr::GetViewModelDocument(), nullptr);
  ornR_Release();
  EXPECT_EQ(ornr::GetViewModelDocument(), nullptr);
  Teskor::RenderSetup::View::MainPanel::Reset();
}

}  // namespace
