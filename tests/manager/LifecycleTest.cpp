// ornR_Init and ornR_Release, and what the other functions do without a manager object.
#include <algorithm>
#include <functional>

#include "ModuleFixture.h"

extern "C" int ornr_c_header_table_size(void);

namespace ornr::testing {
namespace {

class LifecycleTest : public ModuleFixture {
 protected:
  std::vector<std::string> RendererCalls() const {
    std::vector<std::string> calls;
    for (const auto& call : ornhost::CallLog()) {
      if (call.rfind("OrnManager::", 0) == 0 || call == "OrnSetupManager::InitForFile") {
        calls.push_back(call);
      }
    }
    return calls;
  }
};

TEST_F(LifecycleTest, WithoutManagerEveryFunctionAnswersNotDoneAndCallsNothing) {
  ornhost::OpenMaster(File("master.zel"));
  Store("master.zel", {u"Sky"});
  ornhost::AddLibrary(File("master.zel"));
  ornhost::ClearCallLog();
  const char16_t* name = u"Sky";
  const std::vector<std::pair<const char*, std::function<int()>>> calls = {
      {"LoadAllSetups", [] { return ornR_LoadAllSetups(false), 0; }},
      {"NewSetup", [&] { return ornR_NewSetup(name), 0; }},
      {"DuplicateSetup", [&] { return ornR_DuplicateSetup(name); }},
      {"RenameSetup", [&] { return ornR_RenameSetup(name, u"Other"), 0; }},
      {"DeleteSetup", [&] { return ornR_DeleteSetup(name); }},
      {"ResetSetup", [&] { return ornR_ResetSetup(name), 0; }},
      {"SaveSetup", [&] { return ornR_SaveSetup(name), 0; }},
      {"IsModified", [&] { return ornR_IsModified(name); }},
      {"CopyFromLib", [&] { return ornR_CopyFromLib(name); }},
      {"UpdateFromLibrarySetup", [&] { return ornR_UpdateFromLibrarySetup(name), 0; }},
      {"MatchesToLibrarySetup", [&] { return ornR_MatchesToLibrarySetup(name) + 1; }},
  };
  for (const auto& [what, call] : calls) {
    EXPECT_EQ(call(), 0) << what;
    EXPECT_TRUE(ornhost::CallLog().empty()) << what << " called " << ornhost::CallLog().front();
  }
  EXPECT_TRUE(documents_.empty());
  EXPECT_TRUE(messages_.empty());
}

TEST_F(LifecycleTest, InitAndReleaseRegisterInOrderAndReleaseAlwaysUnregisters) {
  ornhost::OpenMaster(File("master.zel"));
  ornhost::ClearCallLog();
  ornR_Init();
  EXPECT_EQ(RendererCalls(),
            (std::vector<std::string>{"OrnManager::RegisterManager", "OrnManager::InitializeOrn",
                                      "OrnSetupManager::InitForFile"}));
  ornhost::ClearCallLog();
  ornR_Release();
  ornR_Release();
  EXPECT_EQ(RendererCalls(), (std::vector<std::string>{"OrnManager::UnRegisterManager",
                                                       "OrnManager::UnRegisterManager"}));
  EXPECT_EQ(ornR_MatchesToLibrarySetup(u"Sky"), -1);
}

TEST_F(LifecycleTest, SecondInitKeepsTheListsAndReleaseForgetsThem) {
  ornhost::OpenMaster(File("master.zel"));
  Store("master.zel", {u"First"});
  ornR_Init();
  ornR_LoadAllSetups(false);
  ASSERT_EQ(TakeDocuments().size(), 1u);

  Store("master.zel", {u"Second"});
  ornR_Init();
  ornR_LoadAllSetups(false);
  EXPECT_NE(Panel().GetSetupFromCurrentZel(u"First"), nullptr);
  EXPECT_EQ(Panel().GetSetupFromCurrentZel(u"Second"), nullptr) << "the cached list was re-read";

  ornR_Release();
  ornR_Init();
  ornR_LoadAllSetups(false);
  EXPECT_NE(Panel().GetSetupFromCurrentZel(u"Second"), nullptr);
}

TEST_F(LifecycleTest, InitWithoutMasterFileServesLibrariesOnly) {
  Store("lib.zellib", {u"Library only"});
  ornhost::AddLibrary(File("lib.zellib"));
  ornR_Init();
  ornR_LoadAllSetups(false);
  EXPECT_NE(Panel().GetSetupFromZelLib(u"Library only"), nullptr);
  EXPECT_TRUE(Panel().Setups(panel::ViewModel::Group::MasterFile).empty());
  ornR_NewSetup(u"Library only");
  EXPECT_EQ(ornR_IsModified(u"Untitled"), 0);
}

TEST(CHeaderTest, PlainCFillsTheWholeFunctionTable) {
  EXPECT_EQ(ornr_c_header_table_size(), 13);
}

}  // namespace
}  // namespace ornr::testing
