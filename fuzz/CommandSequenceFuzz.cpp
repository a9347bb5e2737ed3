// Drives the module through its C interface, the panel and the host as a session would, and
// checks after every step: every document the panel received is valid against the schema, the
// design file passes SQLite's integrity check, and a saved setup reads back as it was saved.
#include <fuzzer/FuzzedDataProvider.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "host/OrnSetupManager.h"
#include "host/SessionMgr.h"
#include "host/controls/HostControls.h"
#include "host/store/SetupNames.h"
#include "ornr/ornr.h"
#include "panel/Panel.h"
#include "support/Utf.h"
#include "tests/schema/ViewModelSchema.h"

namespace {

using Teskor::RenderSetup::View::MainPanel;
using Teskor::RenderSetup::ViewModel::Group;
using Teskor::ZelPlatform::OrnSettings;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
  __builtin_trap();
}

std::filesystem::path Folder() {
  static const std::filesystem::path folder = [] {
    const std::filesystem::path base =
        std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    auto path = base / ("ornr-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(path);
    return path;
  }();
  return folder;
}

void CheckIntegrity(const std::filesystem::path& file) {
  if (!std::filesystem::exists(file)) return;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    Fail("cannot open " + file.string());
  }
  std::string result;
  sqlite3_exec(
      db, "PRAGMA integrity_check",
      [](void* out, int, char** values, char**) {
        *static_cast<std::string*>(out) += values[0] ? values[0] : "";
        return 0;
      },
      &result, nullptr);
  sqlite3_close(db);
  if (result != "ok") Fail("integrity_check of " + file.string() + ": " + result);
}

// Names from a small alphabet, so that commands often meet the setups earlier ones made, plus
// the characters and lengths that are easy to get wrong.
std::u16string Name(FuzzedDataProvider& in) {
  static const std::u16string pieces[] = {
      u"Sky",  u"Night",  u"Untitled", u" - Copy",    u"'", u"\"&<]", u"\t",
      u"\x01", u"\xD800", u"\uFFFF",   u"\U0001F305", u" ", u"(2)",   u"Shared"};
  std::u16string name;
  const int parts = in.ConsumeIntegralInRange(0, 4);
  for (int i = 0; i < parts; ++i) name += pieces[in.ConsumeIntegralInRange<std::size_t>(0, 13)];
  if (in.ConsumeBool() && in.ConsumeBool()) name.append(in.ConsumeIntegralInRange(240, 260), u'L');
  return name;
}

const char* Property(FuzzedDataProvider& in) {
  static const char* const names[] = {
      "DoShadows",        "BlurPasses",    "ShadowQuality", "Outputs",
      "QualityThreshold", "LightingModel", "Name",          "ToleranceOverrideMeters"};
  return names[in.ConsumeIntegralInRange<std::size_t>(0, 7)];
}

struct Session {
  std::filesystem::path master = Folder() / "master.zel";
  std::filesystem::path library = Folder() / "lib.zellib";
  std::vector<std::u16string> documents;

  Session() {
    ornhost::ResetAll();
    MainPanel::Reset();
    std::filesystem::remove(master);
    // What a failed save at close kept: one input's leftovers must not pile up over a run.
    for (const auto& entry : std::filesystem::directory_iterator(Folder())) {
      if (entry.path().extension() == ".json") std::filesystem::remove(entry.path());
    }
    MainPanel::SetDocumentObserver([this](const Teskor::RenderSetup::TextView& xml) {
      documents.emplace_back(xml.value_or(u""));
    });
    MainPanel::SetMessageBoxHandler([](const auto&, const auto&) {});
    // Libraries are only read: one for the whole run.
    static const bool made = [this] {
      std::filesystem::remove(library);
      ornhost::WriteSetup(library, u"Shared", OrnSettings());
      ornhost::WriteSetup(library, u"Night", OrnSettings());
      return true;
    }();
    (void)made;
    ornhost::OpenMaster(master);
    ornhost::AddLibrary(library);
    ornR_Init();
  }
  ~Session() {
    ornR_Release();
    ornhost::ResetAll();
    MainPanel::Reset();
  }

  void Check() {
    for (const auto& xml : documents) {
      const std::string errors = ornr::test::ViewModelSchemaErrors(xml);
      if (!errors.empty()) Fail(errors + "\n" + ornr::Utf16ToUtf8(xml));
    }
    documents.clear();
    CheckIntegrity(master);
  }

  // After a save the file holds what the store holds for that setup.
  void CheckSaved(const std::u16string& name) {
    auto* file = Teskor::KreelPlatform::ISessionMgr::GetManager().GetMasterZelFile();
    if (file == nullptr) return;
    auto* setup =
        Teskor::ZelPlatform::OrnSetupManager::GetManagerR().FindOrnSetupByName(name.c_str(), *file);
    if (setup == nullptr || !setup->valid || setup->GetSettingsR() == nullptr) return;
    for (const auto& stored : ornhost::ReadSetups(master)) {
      if (stored.name != name) continue;
      if (!stored.valid || !stored.settings.Equals(*setup->GetSettingsR())) {
        Fail("saved setup reads back different: " + ornr::Utf16ToUtf8(name));
      }
      return;
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  Session session;
  for (int step = 0; step < 40 && in.remaining_bytes() > 0; ++step) {
    const std::u16string name = Name(in);
    const char16_t* n = name.c_str();
    switch (in.ConsumeIntegralInRange(0, 17)) {
      case 0:
        ornR_LoadAllSetups(in.ConsumeBool());
        break;
      case 1:
        ornR_NewSetup(n);
        break;
      case 2:
        ornR_DuplicateSetup(n);
        break;
      case 3:
        ornR_RenameSetup(n, Name(in).c_str());
        break;
      case 4:
        ornR_DeleteSetup(n);
        break;
      case 5:
        ornR_ResetSetup(n);
        break;
      case 6:
        ornR_SaveSetup(n);
        session.CheckSaved(name);
        break;
      case 7:
        ornR_IsModified(n);
        break;
      case 8:
        ornR_CopyFromLib(n);
        break;
      case 9:
        ornR_UpdateFromLibrarySetup(n);
        break;
      case 10:
        ornR_MatchesToLibrarySetup(n);
        break;
      case 11: {
        const std::string text = in.ConsumeRandomLengthString(24);
        MainPanel::Instance().ViewModel().EditProperty(Group::MasterFile, name, Property(in),
                                                       ornr::Utf8ToUtf16(text));
        break;
      }
      case 12:
        try {
          ornhost::WriteSetup(session.master, name, OrnSettings());
        } catch (const ornhost::SetupNameError&) {
          if (!ornhost::RefusalOfSetupName(name)) Fail("a good name was refused");
        }
        break;
      case 13:
        ornhost::Refresh();
        break;
      case 14:
        ornhost::QueueAnswer(in.ConsumeBool() ? ornhost::kAnswerYes : ornhost::kAnswerNo);
        ornhost::OpenMaster(session.master);
        break;
      case 15:
        ornhost::SetActiveModelIsReference(in.ConsumeBool());
        break;
      case 16:
        ornR_Release();
        ornR_Init();
        break;
      case 17:
        ornhost::InvalidateSetup(session.master, name);
        break;
    }
    session.Check();
  }
  return 0;
}
