#include "workbench/page/PageTexts.h"

#include <map>
#include <optional>

#include "support/TextTable.h"
#include "support/Utf.h"
#include "workbench/page/Json.h"

namespace ornr::workbench {

std::string PageTextsJson(const std::filesystem::path& directory,
                          const std::vector<std::string>& cultures, std::string* warning) {
  std::string lang = "en";
  // Sorted, so that the same tables always give the same answer.
  std::map<std::string, std::u16string> texts;
  // The language first, then its regions over it.
  for (auto culture = cultures.rbegin(); culture != cultures.rend(); ++culture) {
    if (directory.empty()) break;
    const std::filesystem::path file = TextTablePath(directory, *culture);
    TextTableError error;
    const std::optional<TextTable> table = ReadTextTable(file, &error);
    if (!table) {
      if (!error.reason.empty() && warning != nullptr) {
        *warning = "the page's texts leave out " + file.string() + " (" + Describe(error) + ")";
      }
      continue;
    }
    lang = *culture;
    for (const auto& [key, text] : *table) texts.insert_or_assign(Utf16ToUtf8(key), text);
  }
  JsonWriter json;
  json.BeginObject().Key("lang").String(lang).Key("texts").BeginObject();
  for (const auto& [key, text] : texts) json.Key(key).String(std::u16string_view(text));
  json.EndObject().EndObject();
  return json.Take();
}

}  // namespace ornr::workbench
