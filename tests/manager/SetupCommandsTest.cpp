// The commands on single setups: names they make, what they store and what the panel receives.
#include <algorithm>
#include <functional>

#include "ModuleFixture.h"

namespace ornr::testing {
namespace {

class SetupCommandsTest : public ModuleFixture {
 protected:
  void SetUp() override {
    ModuleFixture::SetUp();
    OrnSettings sky;
    sky.SetBlurPasses(42);
    Store("master.zel", u"Sky", sky);
    OrnSettings library;
    library.SetBlurPasses(7);
    Store("lib.zellib", u"Untitled", library);
    Store("lib.zellib", u"Lib only", library);
    Store("lib.zellib", u"Shared", library);
    Store("master.zel", u"Shared", sky);
    Start("master.zel", {"lib.zellib"});
  }
  void Edit(const std::u16string& setup, const char* property, const std::u16string& text) {
    ASSERT_TRUE(Panel().EditProperty(panel::ViewModel::Group::MasterFile, setup, property, text));
  }
};

TEST_F(SetupCommandsTest, NewSetupNamesFromTheUntitledStemIgnoringLibraries) {
  for (int i = 0; i < 3; ++i) ornR_NewSetup(u"Sky");
  const std::vector<std::u16string> made = {u"Untitled", u"Untitled-1", u"Untitled-2"};
  auto documents = TakeDocuments();
  ASSERT_EQ(documents.size(), 3u);
  for (std::size_t i = 0; i < made.size(); ++i) {
    auto root = documents[i].child("RenderSetupViewModel");
    auto setup = root.child("SetupsFromMasterFile");
    EXPECT_EQ(U(setup.attribute("Name").as_string()), made[i]);
    EXPECT_STREQ(setup.attribute("NewBorn").as_string(), "true");
    EXPECT_STREQ(setup.attribute("New").as_string(), "false");
    EXPECT_EQ(U(root.child("CurrentRenderSetup").text().as_string()), made[i]);
    EXPECT_EQ(BlurPassesOnDisk(made[i]), 42u) << "takes the settings of the setup named";
    EXPECT_EQ(ornR_IsModified(made[i].c_str()), 0);
  }
}

TEST_F(SetupCommandsTest, DuplicateNamesCopiesWithoutAFirstNumber) {
  EXPECT_EQ(ornR_DuplicateSetup(u"Sky"), 1);
  EXPECT_EQ(ornR_DuplicateSetup(u"Sky"), 1);
  EXPECT_EQ(ornR_DuplicateSetup(u"Sky"), 1);
  const auto names = NamesOnDisk();
  for (const auto* expected : {u"Sky - Copy", u"Sky - Copy-2", u"Sky - Copy-3"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << N(expected);
  }
  auto documents = TakeDocuments();
  ASSERT_EQ(documents.size(), 3u);
  EXPECT_STREQ(Element(documents[2], "CurrentRenderSetup").text().get(), "Sky - Copy-3");
  EXPECT_STREQ(Element(documents[2], "SetupsFromMasterFile").attribute("NewBorn").as_string(),
               "false");
}

TEST_F(SetupCommandsTest, DuplicateOfALibraryOnlySetupKeepsItsNameAndSettings) {
  EXPECT_EQ(ornR_DuplicateSetup(u"Lib only"), 1);
  EXPECT_EQ(BlurPassesOnDisk(u"Lib only"), 7u);
  // A library setup of the source's name wins over the master file's own.
  EXPECT_EQ(ornR_DuplicateSetup(u"Shared"), 1);
  EXPECT_EQ(BlurPassesOnDisk(u"Shared - Copy"), 7u);
}

TEST_F(SetupCommandsTest, NothingIsMadeFromEmptyNullOrUnknownSources) {
  ornR_NewSetup(u"");
  ornR_NewSetup(nullptr);
  ornR_NewSetup(u"Nobody");
  EXPECT_EQ(ornR_DuplicateSetup(u"Nobody"), 0);
  EXPECT_EQ(ornR_DuplicateSetup(nullptr), 0);
  EXPECT_TRUE(documents_.empty());
  EXPECT_EQ(NamesOnDisk(), (std::vector<std::u16string>{u"Sky", u"Shared"}));
}

// The host takes names of up to 254 units, what the panel's name buffers hold.
TEST_F(SetupCommandsTest, NamesTheHostWouldRefuseAreNotMade) {
  const std::u16string base(248, u'n');  // "<base> - Copy" would need 255 units
  Store("master.zel", base, OrnSettings{});
  ornR_LoadAllSetups(true);
  EXPECT_EQ(ornR_DuplicateSetup(base.c_str()), 0);
  ornR_RenameSetup(base.c_str(), u"");
  ornR_RenameSetup(base.c_str(), std::u16string(255, u'r').c_str());
  ornR_RenameSetup(base.c_str(), u"ctl\x01");
  const std::u16string fits(247, u'f');  // "<fits> - Copy" is exactly 254 units
  Store("master.zel", fits, OrnSettings{});
  ornR_LoadAllSetups(true);
  EXPECT_EQ(ornR_DuplicateSetup(fits.c_str()), 1);
  const auto names = NamesOnDisk();
  EXPECT_EQ(names.size(), 5u);
  EXPECT_EQ(std::count(names.begin(), names.end(), base), 1);
}

TEST_F(SetupCommandsTest, RenameMovesTheStoredSetupAndShowsTheLibrarySetupOfTheOldName) {
  ornR_RenameSetup(u"Shared", u"Renamed");
  EXPECT_EQ(NamesOnDisk(), (std::vector<std::u16string>{u"Sky", u"Renamed"}));
  auto documents = TakeDocuments();
  ASSERT_EQ(documents.size(), 1u);
  auto setup = Element(documents[0], "SetupsFromZelLib");
  EXPECT_STREQ(setup.attribute("Name").as_string(), "Shared");
  EXPECT_EQ(setup.attribute("StoreIn").as_string(), File("master.zel").string());
  // The panel still shows the old master entry; the library setup just sent is the current one.
  ASSERT_NE(Panel().GetSetupFromCurrentZel(u"Shared"), nullptr);
  EXPECT_EQ(Panel().CurrentRenderSetup(), Panel().GetSetupFromZelLib(u"Shared"));

  ornR_RenameSetup(u"Sky", u"Renamed");  // taken: refused, nothing saved
  ornR_RenameSetup(u"Ghost", u"Other");  // missing
  EXPECT_EQ(NamesOnDisk(), (std::vector<std::u16string>{u"Sky", u"Renamed"}));
  EXPECT_TRUE(documents_.empty());
}

TEST_F(SetupCommandsTest, DeleteRemovesFromFileAndShowsTheLibrarySetupOfThatName) {
  EXPECT_EQ(ornR_DeleteSetup(u"Shared"), 1);
  EXPECT_EQ(NamesOnDisk(), (std::vector<std::u16string>{u"Sky"}));
  auto documents = TakeDocuments();
  ASSERT_EQ(documents.size(), 1u);
  auto setup = Element(documents[0], "SetupsFromZelLib");
  EXPECT_STREQ(setup.attribute("Name").as_string(), "Shared");
  EXPECT_EQ(setup.attribute("StoreIn").as_string(), File("lib.zellib").string());
  EXPECT_STREQ(Element(documents[0], "CurrentRenderSetup").text().get(), "Shared");

  EXPECT_EQ(ornR_DeleteSetup(u"Sky"), 1);
  EXPECT_EQ(ornR_DeleteSetup(u"Sky"), 1) << "answers done whether or not anything was removed";
  EXPECT_TRUE(NamesOnDisk().empty());
  EXPECT_TRUE(documents_.empty());
}

TEST_F(SetupCommandsTest, EditSaveResetFollowTheStoredState) {
  Edit(u"Sky", "BlurPasses", u"99");
  EXPECT_EQ(ornR_IsModified(u"Sky"), 1);
  EXPECT_EQ(BlurPassesOnDisk(u"Sky"), 42u) << "an edit alone is not stored";
  ornR_ResetSetup(u"Sky");
  EXPECT_EQ(ornR_IsModified(u"Sky"), 0);
  auto documents = TakeDocuments();
  ASSERT_EQ(documents.size(), 1u);
  EXPECT_STREQ(Element(documents[0], "SetupsFromMasterFile").child("BlurPasses").text().get(),
               "42");

  Edit(u"Sky", "BlurPasses", u"99");
  ornR_SaveSetup(u"Sky");
  EXPECT_EQ(ornR_IsModified(u"Sky"), 0);
  EXPECT_EQ(BlurPassesOnDisk(u"Sky"), 99u);
  EXPECT_TRUE(documents_.empty()) << "saving sends nothing";
  ornR_ResetSetup(u"Nobody");
  EXPECT_TRUE(documents_.empty());
}

TEST_F(SetupCommandsTest, IsModifiedLooksAtTheMasterFileOnly) {
  EXPECT_EQ(ornR_IsModified(u"Lib only"), 0);
  EXPECT_EQ(ornR_IsModified(u"sky"), 0);
  EXPECT_EQ(ornR_IsModified(nullptr), 0);
}

TEST_F(SetupCommandsTest, ReferenceAttachmentRefusesEveryChangeOnce) {
  Edit(u"Sky", "BlurPasses", u"99");
  ornhost::SetActiveModelIsReference(true);
  const auto before = NamesOnDisk();
  const std::vector<std::pair<const char*, std::function<int()>>> commands = {
      {"new", [] { return ornR_NewSetup(u"Sky"), 0; }},
      {"duplicate", [] { return ornR_DuplicateSetup(u"Sky"); }},
      {"rename", [] { return ornR_RenameSetup(u"Sky", u"Other"), 0; }},
      {"delete", [] { return ornR_DeleteSetup(u"Sky"); }},
      {"reset", [] { return ornR_ResetSetup(u"Sky"), 0; }},
      {"save", [] { return ornR_SaveSetup(u"Sky"), 0; }},
      {"copy", [] { return ornR_CopyFromLib(u"Lib only"); }},
      {"update", [] { return ornR_UpdateFromLibrarySetup(u"Shared"), 0; }},
      {"edit", [this] { return Edit(u"Sky", "BlurPasses", u"5"), 0; }},
  };
  for (const auto& [what, command] : commands) {
    messages_.clear();
    EXPECT_EQ(command(), 0) << what;
    EXPECT_EQ(messages_, std::vector<std::string>{"Failed to do operation on active model."})
        << what;
  }
  EXPECT_EQ(NamesOnDisk(), before);
  EXPECT_EQ(BlurPassesOnDisk(u"Sky"), 42u);
  EXPECT_TRUE(documents_.empty());
  EXPECT_EQ(ornR_IsModified(u"Sky"), 1) << "still answers, and the earlier edit is kept";
  ornhost::SetActiveModelIsReference(false);
  ornR_SaveSetup(u"Sky");
  EXPECT_EQ(BlurPassesOnDisk(u"Sky"), 99u) << "the refused edit of 5 never reached the setup";
}

// Every lookup right after a change of the master file's list must answer from the new list:
// a find that remembers names must never serve a setup that is gone, renamed or replaced.
TEST_F(SetupCommandsTest, LookupsRightAfterAChangeSeeTheChangedList) {
  // Created: the copy is found at once.
  ASSERT_EQ(ornR_DuplicateSetup(u"Sky"), 1);
  Edit(u"Sky - Copy", "BlurPasses", u"5");
  EXPECT_EQ(ornR_IsModified(u"Sky - Copy"), 1);

  // Renamed: only the new name finds it; the old name is free again for generated names.
  ornR_RenameSetup(u"Sky - Copy", u"Moon");
  EXPECT_EQ(ornR_IsModified(u"Moon"), 0) << "renaming saves";
  EXPECT_EQ(ornR_DuplicateSetup(u"Sky - Copy"), 0);
  ASSERT_EQ(ornR_DuplicateSetup(u"Sky"), 1);
  EXPECT_EQ(ornR_DuplicateSetup(u"Moon"), 1);
  EXPECT_EQ(NamesOnDisk(), (std::vector<std::u16string>{u"Sky", u"Shared", u"Moon", u"Sky - Copy",
                                                        u"Moon - Copy"}));

  // Renamed back and forth onto a name that was indexed before.
  ornR_RenameSetup(u"Moon", u"Sky - Copy-2");
  ornR_RenameSetup(u"Sky - Copy", u"Moon");
  EXPECT_EQ(BlurPassesOnDisk(u"Sky - Copy-2"), 5u);
  ASSERT_EQ(ornR_DuplicateSetup(u"Sky"), 1);
  EXPECT_EQ(NamesOnDisk().back(), u"Sky - Copy");

  // Deleted: gone for every find, and a library setup of that name is not taken for it.
  EXPECT_EQ(ornR_DeleteSetup(u"Moon"), 1);
  EXPECT_EQ(ornR_DuplicateSetup(u"Moon"), 0);
  EXPECT_EQ(ornR_DeleteSetup(u"Shared"), 1);
  EXPECT_EQ(ornR_IsModified(u"Shared"), 0);
  EXPECT_EQ(ornR_MatchesToLibrarySetup(u"Shared"), -1);

  // Another session's write, then a re-read: the new setup is found.
  OrnSettings comet;
  comet.SetBlurPasses(3);
  Store("master.zel", u"Comet", comet);
  ornR_SaveSetup(u"Sky");
  ASSERT_EQ(ornR_DuplicateSetup(u"Comet"), 1);
  EXPECT_EQ(BlurPassesOnDisk(u"Comet - Copy"), 3u);

  // Damaged behind the module's back: no longer a valid setup, still found by name.
  ASSERT_TRUE(ornhost::InvalidateSetup(File("master.zel"), u"Comet"));
  ornR_SaveSetup(u"Comet");
  EXPECT_EQ(ornR_DuplicateSetup(u"Comet"), 0) << "an unreadable setup has nothing to copy";

  // Reloaded: another master file with a setup of a known name is the one edited and saved.
  OrnSettings other;
  other.SetBlurPasses(1);
  Store("other.zel", u"Sky", other);
  ornhost::OpenMaster(File("other.zel"));
  Edit(u"Sky", "BlurPasses", u"77");
  ornR_SaveSetup(u"Sky");
  EXPECT_EQ(StoredSettings(u"Sky", "other.zel").GetBlurPasses(), 77u);
  EXPECT_EQ(BlurPassesOnDisk(u"Sky"), 42u) << "the first master file is left alone";
}

// A generated name is the first free one of "<stem>-1", "<stem>-2", ... as the host finds names,
// also when the list changed right before: near misses of a numbered name take no number.
TEST_F(SetupCommandsTest, GeneratedNamesAreTheFirstFreeAfterEveryChangeOfTheList) {
  Store("master.zel", {u"Untitled", u"Untitled-1", u"Untitled-01", u"Untitled-+2", u"Untitled-2 ",
                       u"untitled-2", u"Untitled-3", u"Untitled-99999999999", u"Untitled-x2"});
  ornR_SaveSetup(u"Sky");  // the module re-reads the list
  struct Step {
    const char* change;
    std::function<void()> act;
    std::u16string made;
  };
  const Step steps[] = {
      {"near misses only", [] {}, u"Untitled-2"},
      {"another session's write", [&] { Store("master.zel", {u"Untitled-4"}); }, u"Untitled-5"},
      {"deleted", [] { ornR_DeleteSetup(u"Untitled-1"); }, u"Untitled-1"},
      {"renamed away", [] { ornR_RenameSetup(u"Untitled-3", u"Other"); }, u"Untitled-3"},
      {"renamed onto", [] { ornR_RenameSetup(u"Other", u"Untitled-6"); }, u"Untitled-7"},
      {"reloaded",
       [&] {
         Store("other.zel", {u"Untitled", u"Untitled-2"});
         ornhost::OpenMaster(File("other.zel"));
       },
       u"Untitled-1"},
  };
  for (const auto& step : steps) {
    step.act();
    TakeDocuments();
    ornR_NewSetup(u"Shared");
    auto documents = TakeDocuments();
    ASSERT_EQ(documents.size(), 1u) << step.change;
    EXPECT_EQ(U(Element(documents[0], "CurrentRenderSetup").text().get()), step.made)
        << step.change;
  }
}

}  // namespace
}  // namespace ornr::testing
