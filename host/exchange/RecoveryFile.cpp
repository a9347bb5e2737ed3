#include "host/exchange/RecoveryFile.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>

#include "host/exchange/SetupsDocument.h"
#include "host/provenance/Provenance.h"
#include "host/provenance/Standards.h"
#include "host/store/SetupNames.h"

using Teskor::ZelPlatform::OrnSettings;
using Teskor::ZelPlatform::StoreAccess;

namespace ornhost::detail {

namespace {

constexpr int kMaxCandidates = 1000;
constexpr std::size_t kNamesShown = 5;

// The working copy differs from what the file holds, or the file holds none.
bool Unstored(const StoreEntry& entry) {
  return !entry.row || !entry.stored || !entry.stored->valid ||
         !entry.stored->settings.Equals(StoreAccess::Settings(*entry.working));
}

// A setup to keep, and what the file holds of it when it holds a readable record.
struct Unsaved {
  StoredSetup setup;
  std::optional<OrnSettings> stored;
};

std::vector<Unsaved> SetupsToKeep(HostFile& file, const Closing& closing) {
  std::vector<Unsaved> kept;
  for (const StoreEntry& entry : file.Entries()) {
    const auto& setup = *entry.working;
    if (!setup.valid) continue;
    const std::u16string_view name = setup.GetName().str();
    const bool failed = std::find(closing.failedSaves.begin(), closing.failedSaves.end(), name) !=
                        closing.failedSaves.end();
    const bool unanswered = closing.unanswered && setup.GetModified() && Unstored(entry);
    if (!failed && !unanswered) continue;
    std::optional<OrnSettings> stored;
    if (entry.row && entry.stored && entry.stored->valid) stored = entry.stored->settings;
    kept.push_back({{std::u16string(name), true, StoreAccess::Settings(setup)}, stored});
  }
  return kept;
}

// Creates a file that did not exist (never one someone else has) and writes text to disk.
// 0 on success, else the errno of what failed.
int WriteNew(const std::filesystem::path& path, const std::string& text) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  std::size_t done = 0;
  int error = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? errno : ENOSPC;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error != 0) unlink(path.c_str());
  return error;
}

std::string Reason(int error) {
  rlimit limit{};
  if (error == EFBIG && getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    return "it would pass this process's file-size limit, ulimit -f";
  }
  if (error == ENOSPC || error == EDQUOT) return "the disk is full";
  return std::strerror(error);
}

// A fresh file in folder whose name starts with stem: stem.recovered.json, then -2, -3, ...
std::optional<std::filesystem::path> WriteFresh(const std::filesystem::path& folder,
                                                const std::string& stem, const std::string& text,
                                                std::string& why) {
  for (int n = 1; n <= kMaxCandidates; ++n) {
    const std::string name =
        stem + ".recovered" + (n == 1 ? "" : "-" + std::to_string(n)) + ".json";
    const std::filesystem::path path = folder / name;
    const int error = WriteNew(path, text);
    if (error == 0) return path;
    if (error != EEXIST) {
      why = Reason(error);
      return std::nullopt;
    }
  }
  why = "too many recovery files there already";
  return std::nullopt;
}

// The values a person would set again: those that differ from what the file holds, or from the
// defaults when it holds no readable record.
std::string Changes(const Unsaved& unsaved) {
  const auto now = SettingTexts(unsaved.setup.settings);
  const auto before = SettingTexts(unsaved.stored.value_or(OrnSettings()));
  const char* was = unsaved.stored ? " (stored " : " (default ";
  std::string list;
  for (std::size_t i = 0; i < now.size(); ++i) {
    if (now[i].second == before[i].second) continue;
    list += (list.empty() ? "" : ", ") + now[i].first + " = " + now[i].second + was +
            before[i].second + ")";
  }
  if (!list.empty()) return list;
  return unsaved.stored ? "the values stored" : "the default values";
}

std::string NameList(const std::vector<StoredSetup>& setups) {
  std::string list;
  for (std::size_t i = 0; i < setups.size() && i < kNamesShown; ++i) {
    list += (i == 0 ? "\"" : ", \"") + PrintableSetupName(setups[i].name) + "\"";
  }
  if (setups.size() > kNamesShown) {
    list += " and " + std::to_string(setups.size() - kNamesShown) + " more";
  }
  return list;
}

}  // namespace

void KeepUnsavedSetups(HostFile& file, const Closing& closing) noexcept {
  try {
    const std::vector<Unsaved> unsaved = SetupsToKeep(file, closing);
    if (unsaved.empty()) return;
    std::vector<StoredSetup> setups;
    for (const Unsaved& each : unsaved) setups.push_back(each.setup);
    // With where each came from and its standards, so that importing them back keeps them (and
    // a merge, an apply or an override not yet saved).
    std::map<std::u16string, Provenance> origins;
    try {
      origins = OriginsOfWorkingCopies(file);
    } catch (const std::exception&) {
      // The setups matter more than where they came from.
    }
    const std::string text = SetupsDocument(setups, [&](const StoredSetup& setup) {
      const auto origin = origins.find(setup.name);
      std::string members = origin != origins.end() ? SourceMember(origin->second) : "";
      try {
        const StandardsOfSetup standards = WorkingStandards(file, setup.name);
        members += StandardsMembers(standards.standards, standards.overlays);
      } catch (const std::exception&) {
        // As above: the values first.
      }
      return members;
    });
    const std::filesystem::path master(file.DisplayName());
    const std::string stem = master.filename().string();
    const std::string what = (setups.size() == 1 ? "the unsaved setup " : "the unsaved setups ") +
                             NameList(setups) + " of " + file.DisplayName();
    // Beside the master file, where a person looks first; a folder that cannot be written there
    // (the reason the save failed, often) leaves the temporary folder.
    std::string why;
    auto kept = WriteFresh(master.parent_path(), stem, text, why);
    std::string where = "beside it (" + why + ")";
    if (!kept) {
      std::error_code ec;
      const auto temporary = std::filesystem::temp_directory_path(ec);
      std::string whyThere = ec ? ec.message() : "";
      if (!ec) kept = WriteFresh(temporary, stem, text, whyThere);
      where += " nor in " + (ec ? std::string("the temporary folder") : temporary.string()) + " (" +
               whyThere + ")";
    }
    if (kept) {
      ReportError(what + (setups.size() == 1 ? " is" : " are") + " kept in " + kept->string() +
                  "; to bring " + (setups.size() == 1 ? "it" : "them") + " back, open " +
                  file.DisplayName() + " and import " + kept->string() + " --replace");
      return;
    }
    // The last place they are: the person's own eyes.
    ReportError("could not keep " + what + " in a recovery file " + where +
                "; they are lost when this session ends, so here is what to set again:");
    for (const Unsaved& each : unsaved) {
      ReportError("\"" + PrintableSetupName(each.setup.name) + "\" of " + file.DisplayName() +
                  ": " + Changes(each));
    }
  } catch (const std::exception& error) {
    ReportError("could not keep the unsaved setups of " + file.DisplayName() + ": " + error.what());
  } catch (...) {
    ReportError("could not keep the unsaved setups of " + file.DisplayName());
  }
}

}  // namespace ornhost::detail
