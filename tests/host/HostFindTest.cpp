// The store's find by name against a walk of its own list, after every kind of change to it.
#include <gtest/gtest.h>

#include <functional>

#include "PlainSql.h"
#include "TempDir.h"
#include "host/OrnSetupManager.h"

namespace {

using Teskor::ZelPlatform::OrnSettings;
using Teskor::ZelPlatform::OrnSetup;
using Teskor::ZelPlatform::ZelFile;

using Steps = std::vector<std::pair<const char*, std::function<void()>>>;

// After each step, each name is found as the first setup of that name in the store's own list.
void ExpectFindsAsAWalk(ZelFile*& file, const Steps& steps,
                        std::initializer_list<std::u16string> names) {
  auto& store = Teskor::ZelPlatform::OrnSetupManager::GetManagerR();
  for (const auto& [what, change] : steps) {
    change();
    std::vector<const OrnSetup*> list;
    store.GetSetupsForFile(list, *file);
    for (const std::u16string& name : names) {
      const OrnSetup* walked = nullptr;
      for (const OrnSetup* setup : list) {
        if (setup->GetName().str() == name) {
          walked = setup;
          break;
        }
      }
      EXPECT_EQ(store.FindOrnSetupByName(name.c_str(), *file), walked)
          << what << ": " << static_cast<char>(name[0]) << " (" << name.size() << " units)";
    }
  }
}

TEST(HostFind, AnswersAsAWalkOfTheListAfterEveryChange) {
  TempDir dir;
  const auto path = dir / "master.zel";
  auto& store = Teskor::ZelPlatform::OrnSetupManager::GetManagerR();
  for (const char16_t* name : {u"A", u"B", u"C", u"D"}) {
    ornhost::WriteSetup(path, name, OrnSettings());
  }
  ZelFile* file = &ornhost::OpenMaster(path);
  const auto add = [&](const char16_t* name) {
    OrnSetup temporary(*file, name);
    store.AddSetup(temporary, *file);
  };
  const Steps steps = {
      {"opened", [] {}},
      {"added", [&] { add(u"E"); }},
      {"added and saved", [&] { add(u"F"), store.Save(u"F", *file); }},
      {"renamed", [&] { store.Rename(u"B", u"b", *file); }},
      {"renamed onto a name just freed", [&] { store.Rename(u"C", u"B", *file); }},
      {"deleted, then one added", [&] { store.Delete(u"A", *file), add(u"A"); }},
      {"deleted in the middle", [&] { store.Delete(u"D", *file); }},
      {"stored by another session", [&] { ornhost::WriteSetup(path, u"G", OrnSettings()); }},
      {"refused rename onto a taken name", [&] { store.Rename(u"E", u"B", *file); }},
      {"added, then another session stored one before it",
       [&] { add(u"H"), ornhost::WriteSetup(path, u"I", OrnSettings()); }},
      {"the last deleted", [&] { store.Delete(u"H", *file); }},
      {"deleted, then stored anew by another session",
       [&] { store.Delete(u"I", *file), ornhost::WriteSetup(path, u"I", OrnSettings()); }},
      {"reopened", [&] { file = &ornhost::OpenMaster(path); }},
  };
  ExpectFindsAsAWalk(file, steps, {u"A", u"B", u"b", u"C", u"D", u"E", u"F", u"G", u"H", u"I"});
}

// Two records whose names read back the same (neither is valid UTF-8): the first left is found.
TEST(HostFind, NamesHeldTwiceFindTheFirstLeft) {
  TempDir dir;
  const auto path = dir / "master.zel";
  auto& store = Teskor::ZelPlatform::OrnSetupManager::GetManagerR();
  for (const char16_t* name : {u"A", u"Z"}) ornhost::WriteSetup(path, name, OrnSettings());
  ASSERT_EQ(Sql(path,
                "UPDATE render_setups SET name = CAST(x'42ff' AS TEXT) WHERE name = 'A';"
                "UPDATE render_setups SET name = CAST(x'42fe' AS TEXT) WHERE name = 'Z'"),
            SQLITE_OK);
  ZelFile* file = &ornhost::OpenMaster(path);
  const std::u16string twice = u"B\uFFFD";
  const Steps steps = {
      {"opened", [] {}},
      {"one added", [&] { store.AddSetup(OrnSetup(*file, u"C"), *file); }},
      {"the first deleted", [&] { store.Delete(twice.c_str(), *file); }},
      {"the other deleted", [&] { store.Delete(twice.c_str(), *file); }},
  };
  ExpectFindsAsAWalk(file, steps, {twice, u"C"});
  std::vector<const OrnSetup*> list;
  store.GetSetupsForFile(list, *file);
  EXPECT_EQ(list.size(), 1u);
}

}  // namespace
