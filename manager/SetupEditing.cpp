// The building blocks that create, name and save master-file setups.
#include <limits>
#include <string>
#include <vector>

#include "host/OrnSetupManager.h"
#include "host/xrt.h"
#include "manager/MasterFile.h"
#include "manager/SetupManager.h"
#include "ornr/IPrismetWrapper.h"
#include "support/TextTable.h"
#include "support/Utf.h"
#include "viewmodel/ViewModelDocument.h"

namespace ornr {

using Teskor::WString;
using Teskor::ZelPlatform::OrnSettings;
using Teskor::ZelPlatform::OrnSetup;
using Teskor::ZelPlatform::OrnSetupManager;
using Teskor::ZelPlatform::RenderStore;

namespace {

// Generated names are assembled in a buffer of 512 code units, terminator included.
constexpr std::size_t kMaxGeneratedNameLength = 511;
constexpr std::uint64_t kResourceCapacity = 255;

bool TakenInMaster(const WString& candidate) {
  return OrnSetupManager::GetManagerR().FindOrnSetupByName(candidate.c_str(),
                                                           RequireMasterFile()) != nullptr;
}

// The numbers n >= first for which the master file holds a setup named exactly "<stem>-n" as
// "%d" writes n, marked in a table that ends past the first free one.
std::vector<bool> NumbersTaken(std::u16string_view stem, int first) {
  SetupList setups;
  OrnSetupManager::GetManagerR().GetSetupsForFile(setups, RequireMasterFile());
  std::vector<bool> taken(setups.size() + 1, false);
  for (const auto* setup : setups) {
    if (setup == nullptr) continue;
    const std::u16string_view name = setup->GetName().str();
    if (name.size() <= stem.size() + 1 || name.size() > stem.size() + 11 ||
        !name.starts_with(stem) || name[stem.size()] != u'-') {
      continue;
    }
    const std::u16string_view digits = name.substr(stem.size() + 1);
    if (digits.front() < u'1' || digits.front() > u'9') continue;
    long long n = 0;
    bool number = true;
    for (const char16_t c : digits) {
      number = number && c >= u'0' && c <= u'9';
      n = n * 10 + (c - u'0');
    }
    if (!number || n < first || n > std::numeric_limits<int>::max()) continue;
    // Only the first setups.size() + 1 numbers can hold the first free one.
    const auto slot = static_cast<unsigned long long>(n - first);
    if (slot < taken.size()) taken[slot] = true;
  }
  return taken;
}

// A translation too long for the buffer comes back empty: it is asked for again with room for any
// table's text, so that the host's refusal names it rather than the empty name.
WString UntitledStem() {
  char16_t key[] = u"MESSAGEID_Untitled";
  std::u16string buffer(kResourceCapacity + 1, u'\0');
  RequireBridge().GetResource(key, buffer.data(), kResourceCapacity);
  if (buffer[0] == 0) {
    buffer.assign(kMaxTextTableBytes + 1, u'\0');
    RequireBridge().GetResource(key, buffer.data(), buffer.size());
  }
  return WString(buffer.c_str());
}

}  // namespace

bool SetupManager::CheckActiveModel() {
  if (!xrtModelRef_isReference(xrtModelRef_getActive())) return true;
  RequireBridge().ShowMessage(u"MSGSTR_FailedOperateOnModel");
  return false;
}

void SetupManager::CreateFileSetup(const char16_t* name) {
  auto& master = RequireMasterFile();
  OrnSetup temporary(master, name);
  OrnSetupManager::GetManagerR().AddSetup(temporary, master);
  RefreshFileSetups(true);
}

void SetupManager::SaveFileSetup(RenderStore* setup) {
  if (setup == nullptr) return;
  auto& master = RequireMasterFile();
  setup->modified = false;
  // Save's result tells nothing the commands act on.
  (void)OrnSetupManager::GetManagerR().Save(setup->GetName().c_str(), master);
  RefreshFileSetups(true);
}

std::optional<WString> SetupManager::MakeUniqueSetupName(const char16_t* base) {
  WString stem;
  int counter = 0;
  if (base == nullptr || *base == 0) {
    stem = UntitledStem();
  } else if (TakenInMaster(WString(base))) {
    stem.Sprintf(u"%ls - Copy", base);
    counter = 1;
  } else {
    stem = WString(base);
  }
  // A stem too long to number is handed on as it is, for the host to refuse with its reason.
  if (stem.size() > kMaxGeneratedNameLength) return stem;
  WString candidate = stem;
  if (TakenInMaster(candidate)) {
    // The numbered names the master file holds give the first free one without asking for each
    // in turn. Every name it holds is taken for the host's find too, so asking for the answer
    // confirms it; when the host counts more names as equal, the asking goes on from there.
    const std::vector<bool> taken = NumbersTaken(stem.str(), counter + 1);
    std::size_t skipped = 0;
    while (skipped < taken.size() && taken[skipped]) ++skipped;
    counter += static_cast<int>(skipped);
    do {
      ++counter;
      candidate.Sprintf(u"%ls-%d", stem.c_str(), counter);
    } while (candidate.size() <= kMaxGeneratedNameLength && TakenInMaster(candidate));
  }
  if (candidate.size() > kMaxGeneratedNameLength) return std::nullopt;
  return candidate;
}

bool SetupManager::CopySetup(const char16_t* sourceName, bool useDefaultName, WString* newName) {
  if (sourceName == nullptr) sourceName = u"";
  auto name = MakeUniqueSetupName(useDefaultName ? u"" : sourceName);
  if (!name) return false;
  if (newName != nullptr) *newName = *name;

  RenderStore* source = FindRenderStore(sourceName, false);
  if (source == nullptr) source = FindRenderStore(sourceName, true);
  if (source == nullptr) return false;
  // A library setup of the source's name wins over the master file's.
  const OrnSettings* settings = nullptr;
  if (OrnSetup* library = FindValidSetup(sourceName, true)) settings = library->GetSettings();
  if (settings == nullptr) settings = static_cast<OrnSetup*>(source)->GetSettingsR();
  // Checked before anything is created, so that a source without settings leaves no empty copy.
  if (settings == nullptr) return false;
  const OrnSettings copied = *settings;

  CreateFileSetup(name->c_str());
  auto* target = static_cast<OrnSetup*>(FindRenderStore(name->c_str(), false));
  if (target == nullptr || target->GetSettings() == nullptr) return false;
  target->GetSettings()->Clone(copied);
  SaveFileSetup(FindRenderStore(name->c_str(), false));
  return true;
}

}  // namespace ornr
