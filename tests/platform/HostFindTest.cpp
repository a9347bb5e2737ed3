// The store's find by name against a walk of its own list, after every kind of change to it.
#include <gtest/gtest.h>

#include <functional>

#include "TempDir.h"
#include "host/OrnSetupManager.h"

namespace {

using Teskor::ZelPlatform::OrnSettings;
using Teskor::ZelPlatform::OrnSetup;
using Teskor::ZelPlatform::ZelFile;

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
  const std::pair<const char*, std::function<void()>> steps[] = {
      {"opened", [] {}},
      {"added", [&] { add(u"E"); }},
      {"added and saved", [&] { add(u"F"), store.Save(u"F", *file); }},
      {"renamed", [&] { store.Rename(u"B", u"b", *file); }},
      {"renamed onto a name just freed", [&] { store.Rename(u"C", u"B", *file); }},
      {"deleted, then one added", [&] { store.Delete(u"A", *file), add(u"A"); }},
      {"deleted in the middle", [&] { store.Delete(u"D", *file); }},
      {"stored by another session", [&] { ornhost::WriteSetup(path, u"G", OrnSettings()); }},
      {"refused rename onto a taken name", [&] { store.Rename(u"E", u"B", *file); }},
      {"reopened", [&] { file = &ornhost::OpenMaster(path); }},
  };
  for (const auto& [what, change] : steps) {
    change();
    std::vector<const OrnSetup*> list;
    store.GetSetupsForFile(list, *file);
    for (const char16_t* name : {u"A", u"B", u"b", u"C", u"D", u"E", u"F", u"G", u"H"}) {
      const OrnSetup* walked = nullptr;
      for (const OrnSetup* setup : list) {
        if (setup->GetName().str() == name) {
          walked = setup;
          break;
        }
      }
      EXPECT_EQ(store.FindOrnSetupByName(name, *file), walked)
          << what << ": " << static_cast<char>(name[0]);
    }
  }
}

}  // namespace
