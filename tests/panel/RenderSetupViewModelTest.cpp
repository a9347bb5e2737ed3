#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "panel/Panel.h"
#include "tests/panel/ModelShown.h"

namespace Teskor::RenderSetup::ViewModel {
namespace {

std::u16string Element(const char16_t* group, const char16_t* name, const char16_t* shadows) {
  return std::u16string(u"<") + group + u" Name=\"" + name +
         u"\" New=\"false\" StoreIn=\"a.zel\"><DoShadows>" + shadows + u"</DoShadows></" + group +
         u">";
}
constexpr char16_t kMaster[] = u"SetupsFromMasterFile";
constexpr char16_t kLibrary[] = u"SetupsFromZelLib";

class RenderSetupViewModelTest : public ::testing::Test {
 protected:
  void SetUp() override { View::MainPanel::Reset(); }

  RenderSetupViewModel& model_ = View::MainPanel::Instance().ViewModel();
};

TEST_F(RenderSetupViewModelTest, DocumentUpdatesByGroupAndNameAndKeepsTheRest) {
  ASSERT_TRUE(
      model_.TakeDocument(Doc(Element(kMaster, u"A", u"true") + Element(kLibrary, u"A", u"false") +
                              Element(kMaster, u"B", u"false"))));
  RenderSetup* masterA = model_.GetSetupFromCurrentZel(u"A");
  ASSERT_TRUE(
      model_.TakeDocument(Doc(u"<SetupsFromMasterFile Name=\"A\" "
                              u"StoreIn=\"b.zel\"><Outputs>3</Outputs></SetupsFromMasterFile>")));

  ASSERT_EQ(model_.Setups(Group::MasterFile).size(), 2U);
  EXPECT_EQ(model_.GetSetupFromCurrentZel(u"A"), masterA);
  EXPECT_EQ(masterA->StoreIn, u"b.zel");
  EXPECT_FALSE(masterA->New);  // attributes the document leaves out stay as they were
  EXPECT_EQ(masterA->Properties().size(), 1U);
  EXPECT_EQ(*masterA->PropertyText("Outputs"), u"3");
  EXPECT_EQ(*model_.GetSetupFromZelLib(u"A")->PropertyText("DoShadows"), u"false");
  EXPECT_EQ(*model_.GetSetupFromCurrentZel(u"B")->PropertyText("DoShadows"), u"false");
  EXPECT_EQ(model_.GetSetupFromCurrentZel(u"a"), nullptr);
  EXPECT_EQ(model_.GetSetupFromZelLib(u"B"), nullptr);
}

TEST_F(RenderSetupViewModelTest, CurrentSetupPrefersMasterFileAndSurvivesBadDocuments) {
  ASSERT_TRUE(model_.TakeDocument(
      Doc(Element(kLibrary, u"A", u"false") + Element(kMaster, u"A", u"true") +
          u"<CurrentRenderSetup>A</CurrentRenderSetup>" + Element(kLibrary, u"L", u"true"))));
  EXPECT_EQ(model_.CurrentRenderSetup(), model_.GetSetupFromCurrentZel(u"A"));
  ASSERT_TRUE(model_.TakeDocument(Doc(u"<CurrentRenderSetup>L</CurrentRenderSetup>")));
  // Nothing of a document that is not whole and well-formed is taken.
  for (const std::u16string& bad : std::vector<std::u16string>{
           u"", u"<Other><CurrentRenderSetup>A</CurrentRenderSetup></Other>",
           u"<RenderSetupViewModel>" + Element(kMaster, u"B", u"true")}) {
    EXPECT_FALSE(model_.TakeDocument(bad));
  }
  EXPECT_EQ(model_.CurrentRenderSetup(), model_.GetSetupFromZelLib(u"L"));
  EXPECT_EQ(model_.GetSetupFromCurrentZel(u"B"), nullptr);
  model_.Clear();
  EXPECT_EQ(model_.CurrentRenderSetup(), nullptr);
  EXPECT_TRUE(model_.Setups(Group::Library).empty());
}

TEST_F(RenderSetupViewModelTest, OwnRenameAndDeleteKeepPlacesValuesAndListing) {
  ASSERT_TRUE(
      model_.TakeDocument(Doc(Element(kMaster, u"A", u"true") + Element(kMaster, u"B", u"false") +
                              Element(kLibrary, u"A", u"true"))));
  RenderSetup* a = model_.GetSetupFromCurrentZel(u"A");
  ASSERT_TRUE(model_.Select(Group::MasterFile, u"A"));

  // Renamed in place: same object, same values, still current; the old name is free.
  ASSERT_TRUE(model_.RenameSetup(Group::MasterFile, u"A", u"C \"<&>\" é"));
  EXPECT_EQ(model_.GetSetupFromCurrentZel(u"C \"<&>\" é"), a);
  EXPECT_EQ(model_.GetSetupFromCurrentZel(u"A"), nullptr);
  EXPECT_EQ(a->Name(), String(u"C \"<&>\" é"));
  EXPECT_EQ(*a->PropertyText("DoShadows"), u"true");
  EXPECT_EQ(model_.CurrentRenderSetup(), a);
  EXPECT_EQ(model_.Setups(Group::MasterFile).front().get(), a);

  // Onto a name the panel shows already: the old entry goes, the other stays.
  RenderSetup* b = model_.GetSetupFromCurrentZel(u"B");
  ASSERT_TRUE(model_.RenameSetup(Group::MasterFile, u"C \"<&>\" é", u"B"));
  EXPECT_EQ(model_.Setups(Group::MasterFile).size(), 1U);
  EXPECT_EQ(model_.GetSetupFromCurrentZel(u"B"), b);
  EXPECT_EQ(model_.CurrentRenderSetup(), nullptr);

  EXPECT_FALSE(model_.RenameSetup(Group::MasterFile, u"A", u"D"));
  EXPECT_FALSE(model_.RemoveSetup(Group::MasterFile, u"A"));
  ASSERT_TRUE(model_.RemoveSetup(Group::MasterFile, u"B"));
  EXPECT_TRUE(model_.Setups(Group::MasterFile).empty());
  // The library's setup of the same name is another entry.
  EXPECT_NE(model_.GetSetupFromZelLib(u"A"), nullptr);
  EXPECT_FALSE(model_.Select(Group::MasterFile, u"A"));
}

std::u16string InFile(const char16_t* group, const char16_t* name, const char16_t* file,
                      const char16_t* shadows) {
  return std::u16string(u"<") + group + u" Name=\"" + name + u"\" New=\"true\" StoreIn=\"" + file +
         u"\"><DoShadows>" + shadows + u"</DoShadows></" + group + u">";
}

TEST_F(RenderSetupViewModelTest, LibrarySetupsAreKnownByNameAndTheFileTheyWereFirstListedIn) {
  ASSERT_TRUE(model_.TakeDocument(Doc(InFile(kMaster, u"Lobby", u"tower.zel", u"true") +
                                      InFile(kLibrary, u"Night", u"studio.zellib", u"studio") +
                                      InFile(kLibrary, u"Night", u"office.zellib", u"office") +
                                      InFile(kLibrary, u"Draft", u"studio.zellib", u"draft"))));
  ASSERT_EQ(model_.Setups(Group::Library).size(), 3U);
  RenderSetup* studio = model_.GetLibrarySetup(u"studio.zellib", u"Night");
  RenderSetup* office = model_.GetLibrarySetup(u"office.zellib", u"Night");
  ASSERT_NE(studio, nullptr);
  ASSERT_NE(office, nullptr);
  EXPECT_EQ(*studio->PropertyText("DoShadows"), u"studio");
  EXPECT_EQ(*office->PropertyText("DoShadows"), u"office");
  // The module's pick of a name two libraries offer: the file name that sorts first.
  EXPECT_EQ(model_.GetSetupFromZelLib(u"Night"), office);
  EXPECT_EQ(model_.GetLibrarySetup(u"office.zellib", u"Draft"), nullptr);

  // Each later document, and which entry it must land in; none may add a phantom.
  struct Case {
    const char16_t* storeIn;
    const char16_t* value;
    const char16_t* listedIn;  // the entry that takes it
    std::size_t librarySetups;
  };
  for (const Case& c : {
           // After a rename the module re-sends its pick with the master file's name.
           Case{u"tower.zel", u"renamed", u"office.zellib", 3},
           // After a delete, with the pick's own library.
           Case{u"office.zellib", u"deleted", u"office.zellib", 3},
           Case{u"studio.zellib", u"reloaded", u"studio.zellib", 3},
           // A library offered later that has the name too is a setup of its own...
           Case{u"archive.zellib", u"archive", u"archive.zellib", 4},
           // ...and, sorting first, now the pick.
           Case{u"tower.zel", u"renamed again", u"archive.zellib", 4},
       }) {
    ASSERT_TRUE(model_.TakeDocument(Doc(InFile(kLibrary, u"Night", c.storeIn, c.value))));
    const RenderSetup* entry = model_.GetLibrarySetup(c.listedIn, u"Night");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(*entry->PropertyText("DoShadows"), c.value);
    EXPECT_EQ(entry->StoreIn, c.storeIn);
    EXPECT_EQ(model_.Setups(Group::Library).size(), c.librarySetups);
  }
  EXPECT_EQ(*office->PropertyText("DoShadows"), u"deleted");
  EXPECT_EQ(*studio->PropertyText("DoShadows"), u"reloaded");

  ASSERT_TRUE(model_.SelectLibrarySetup(u"studio.zellib", u"Night"));
  EXPECT_EQ(model_.CurrentRenderSetup(), studio);
  EXPECT_FALSE(model_.SelectLibrarySetup(u"office.zellib", u"Draft"));
  // A current setup named in a document alone is the master file's, else the module's pick.
  ASSERT_TRUE(model_.TakeDocument(Doc(u"<CurrentRenderSetup>Night</CurrentRenderSetup>")));
  EXPECT_EQ(model_.CurrentRenderSetup(), model_.GetLibrarySetup(u"archive.zellib", u"Night"));
}

TEST_F(RenderSetupViewModelTest, ObserverHearsEveryChangeWithTheSetupStillAlive) {
  std::vector<std::u16string> heard;
  model_.SetModelObserver([&heard](const ModelChange& change) {
    static const char16_t* const kKinds[] = {u"added",   u"updated", u"edited", u"renamed",
                                             u"removed", u"current", u"cleared"};
    std::u16string line = kKinds[static_cast<int>(change.kind)];
    if (change.setup != nullptr)
      line += u" " + *change.setup->Name() + u"@" + change.setup->ListedIn;
    if (!change.oldName.empty()) line += u" from " + std::u16string(change.oldName);
    heard.push_back(line);
  });
  ASSERT_TRUE(model_.TakeDocument(Doc(InFile(kMaster, u"A", u"m.zel", u"true") +
                                      InFile(kLibrary, u"A", u"l.zellib", u"false") +
                                      u"<CurrentRenderSetup>A</CurrentRenderSetup>")));
  ASSERT_TRUE(model_.TakeDocument(Doc(InFile(kMaster, u"A", u"m.zel", u"false"))));
  ASSERT_TRUE(model_.EditProperty(Group::MasterFile, u"A", "DoShadows", u"true"));
  EXPECT_FALSE(model_.EditProperty(Group::MasterFile, u"A", "DoShadows", u"maybe"));
  ASSERT_TRUE(model_.RenameSetup(Group::MasterFile, u"A", u"B"));
  ASSERT_TRUE(model_.Select(Group::MasterFile, u"B"));
  ASSERT_TRUE(model_.Select(Group::MasterFile, u"B"));  // no change, nothing heard
  ASSERT_TRUE(model_.RemoveSetup(Group::MasterFile, u"B"));
  model_.Clear();
  EXPECT_EQ(heard, (std::vector<std::u16string>{
                       u"added A@m.zel", u"added A@l.zellib", u"current A@l.zellib",
                       u"updated A@m.zel", u"edited A@m.zel", u"renamed B@m.zel from A",
                       u"current B@m.zel", u"removed B@m.zel", u"current", u"cleared"}));
}

}  // namespace
}  // namespace Teskor::RenderSetup::ViewModel
