// Commands on design files through the host alone: setups as text, upgrades, the host's tools.
#include "workbench/commands/Commands.h"

#include <algorithm>
#include <filesystem>

#include "host/controls/HostControls.h"
#include "support/Utf.h"
#include "workbench/commands/CommandLexer.h"
#include "workbench/commands/CommandSupport.h"

namespace ornr::workbench {

void Commands::Export(const Args& args) {
  std::vector<std::u16string> names;
  for (std::size_t i = 0; i + 1 < args.size(); ++i) names.push_back(Wide(args[i]));
  ornhost::ExportSetups(MasterPath(), names, std::filesystem::path(args.back()));
}

void Commands::Import(const Args& args) {
  if (args.size() == 2 && args[1] != "--replace") {
    throw CommandError("expected --replace, got " + QuoteWord(args[1]));
  }
  try {
    for (const std::u16string& name :
         ornhost::ImportSetups(MasterPath(), std::filesystem::path(args[0]), args.size() == 2)) {
      transcript_.Line("imported " + AlwaysQuoted(Utf16ToUtf8(name)));
    }
  } catch (const ornhost::ImportError& error) {
    for (const auto& problem : error.Problems()) transcript_.Error(problem.Text());
    if (error.Unlisted() > 0) {
      transcript_.Error("and " + std::to_string(error.Unlisted()) + " more problems");
    }
    transcript_.Error("nothing imported");
  }
}

void Commands::Upgrade(const Args& args) {
  const ornhost::UpgradeResult result = ornhost::UpgradeDesignFile(std::filesystem::path(args[0]));
  if (result.backup.empty()) {
    transcript_.Line(args[0] + " has format version " + std::to_string(result.fromVersion) +
                     " already");
    return;
  }
  for (const std::string& problem : result.problems) transcript_.Error(args[0] + ": " + problem);
  transcript_.Line("upgraded " + args[0] + " from format version " +
                   std::to_string(result.fromVersion) + "; the file as it was is " +
                   result.backup.string());
}

void Commands::Host(const Args& args) {
  if (args[0] == "show") {
    if (args.size() != 2) throw CommandError("usage: host show NAME");
    for (const auto& setup : ornhost::ReadSetups(MasterPath())) {
      if (setup.name != Wide(args[1])) continue;
      if (!setup.valid)
        throw CommandError("the stored record of " + AlwaysQuoted(args[1]) + " cannot be read");
      for (const auto& [key, text] : ornhost::SettingTexts(setup.settings)) {
        transcript_.Line(key + " = " + text);
      }
      return;
    }
    throw CommandError("the master file holds no setup " + AlwaysQuoted(args[1]));
  }
  if (args[0] == "invalidate") {
    if (args.size() != 2) throw CommandError("usage: host invalidate NAME");
    if (!ornhost::InvalidateSetup(MasterPath(), Wide(args[1]))) {
      throw CommandError("the master file holds no setup " + AlwaysQuoted(args[1]));
    }
    return;
  }
  if (args[0] != "add") throw CommandError("expected host add, host show or host invalidate");
  if (args[1].empty()) throw CommandError("a setup needs a name");
  Teskor::ZelPlatform::OrnSettings settings;
  for (std::size_t i = 2; i < args.size(); ++i) {
    const std::size_t equals = args[i].find('=');
    if (equals == std::string::npos) {
      throw CommandError("expected PROPERTY=VALUE, got " + QuoteWord(args[i]));
    }
    const std::string property = args[i].substr(0, equals);
    const std::string value = args[i].substr(equals + 1);
    const auto& keys = ornhost::SettingKeys();
    if (std::find(keys.begin(), keys.end(), property) == keys.end()) {
      throw CommandError("the renderer has no setting " + QuoteWord(property));
    }
    if (!ornhost::SetSettingFromText(settings, property, value)) {
      throw CommandError(QuoteWord(value) + " is not a value of " + property);
    }
  }
  ornhost::WriteSetup(MasterPath(), Wide(args[1]), settings);
}

}  // namespace ornr::workbench
