#include "bench/Floors.h"

#include <sqlite3.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "support/Utf.h"

namespace ornr::bench {

using Teskor::ZelPlatform::OrnSettings;

namespace {

// The value of the column as the field's type; every column is of its field's type already.
template <typename T>
T ColumnValue(sqlite3_stmt* row, int column) {
  if constexpr (std::is_same_v<T, double>) {
    return sqlite3_column_double(row, column);
  } else {
    return static_cast<T>(sqlite3_column_int64(row, column));
  }
}

std::string SelectAll() {
  std::string sql = "SELECT name";
#define ORN_FIELD(type, getter, setter, key, init) sql += ", " #key;
#include "host/OrnSettingsFields.def"
#undef ORN_FIELD
  return sql + " FROM render_setups ORDER BY position";
}

// Only "Outputs" is masked on its way out of the settings.
#define ORN_PROPERTY(position, name, registryType, valueType, hostGetter, hostSetter) \
  constexpr bool Is##name = std::string_view(#name) == "Outputs";
#include "settings/OrnSettingsCatalogue.def"
#undef ORN_PROPERTY

template <bool Mask, typename V>
V Masked(V value) {
  if constexpr (Mask) {
    return static_cast<V>((value & 0x1FFCu) | 3u);
  } else {
    return value;
  }
}

// Value texts as the document carries them.
char* Format(char* at, bool value) {
  const char* text = value ? "true" : "false";
  const std::size_t n = value ? 4 : 5;
  std::memcpy(at, text, n);
  return at + n;
}
char* Format(char* at, std::uint32_t value) {
  return std::to_chars(at, at + 29, static_cast<std::int32_t>(value)).ptr;
}
char* Format(char* at, std::int32_t value) {
  return std::to_chars(at, at + 29, value).ptr;
}
char* Format(char* at, std::uint64_t value) {
  return std::to_chars(at, at + 29, static_cast<std::int64_t>(value)).ptr;
}
char* Format(char* at, double value) {
  const int n = std::snprintf(at, 30, "%f", value);
  return at + (n < 30 ? n : 29);
}

class StringSink : public pugi::xml_writer {
 public:
  explicit StringSink(std::string& text) : text_(text) {}
  void write(const void* data, std::size_t size) override {
    text_.append(static_cast<const char*>(data), size);
  }

 private:
  std::string& text_;
};

}  // namespace

std::vector<FloorSetup> SelectAndParse(const std::filesystem::path& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close_v2(db);
    throw std::runtime_error("cannot open " + path.string());
  }
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, SelectAll().c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    const std::string error = sqlite3_errmsg(db);
    sqlite3_close_v2(db);
    throw std::runtime_error("floor query: " + error);
  }
  std::vector<FloorSetup> setups;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    FloorSetup& setup = setups.emplace_back();
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    setup.name = Utf8ToUtf16(std::string_view(text, sqlite3_column_bytes(stmt, 0)));
    int column = 1;
#define ORN_FIELD(type, getter, setter, key, init) \
  setup.settings.setter(ColumnValue<type>(stmt, column++));
#include "host/OrnSettingsFields.def"
#undef ORN_FIELD
  }
  sqlite3_finalize(stmt);
  sqlite3_close_v2(db);
  return setups;
}

namespace {

void AppendSetup(pugi::xml_node root, std::u16string_view setupName, const OrnSettings& settings,
                 const std::string& store, bool select) {
  char buffer[32];
  const std::string name = Utf16ToUtf8(setupName);
  pugi::xml_node element = root.append_child("SetupsFromMasterFile");
  element.append_attribute("Name").set_value(name.c_str());
  element.append_attribute("New").set_value(select ? "false" : "true");
  element.append_attribute("NewBorn").set_value("false");
  element.append_attribute("StoreIn").set_value(store.c_str());
#define ORN_PROPERTY(position, name, registryType, valueType, hostGetter, hostSetter) \
  {                                                                                   \
    auto value = static_cast<valueType>(settings.hostGetter());                       \
    value = Masked<Is##name>(value);                                                  \
    *Format(buffer, value) = '\0';                                                    \
    element.append_child(#name).text().set(buffer);                                   \
  }
#include "settings/OrnSettingsCatalogue.def"
#undef ORN_PROPERTY
  if (select) root.append_child("CurrentRenderSetup").text().set(name.c_str());
}

}  // namespace

void BuildDocument(pugi::xml_document& document,
                   const std::vector<const Teskor::ZelPlatform::OrnSetup*>& setups,
                   const std::u16string& storeIn, bool select) {
  document.reset();
  pugi::xml_node root = document.append_child("RenderSetupViewModel");
  const std::string store = Utf16ToUtf8(storeIn);
  for (const auto* setup : setups) {
    if (const OrnSettings* settings = setup->GetSettingsR()) {
      AppendSetup(root, setup->GetName().str(), *settings, store, select);
    }
  }
}

void BuildDocument(pugi::xml_document& document, const std::vector<FloorSetup>& setups,
                   const std::u16string& storeIn, bool select) {
  document.reset();
  pugi::xml_node root = document.append_child("RenderSetupViewModel");
  const std::string store = Utf16ToUtf8(storeIn);
  for (const FloorSetup& setup : setups)
    AppendSetup(root, setup.name, setup.settings, store, select);
}

std::string PrintDocument(const pugi::xml_document& document) {
  std::string text;
  StringSink sink(text);
  document.document_element().print(sink, "", pugi::format_raw | pugi::format_no_empty_element_tags,
                                    pugi::encoding_utf8);
  return text;
}

std::size_t ParseAndWalk(std::u16string_view xml) {
  pugi::xml_document document;
  if (!document.load_buffer(xml.data(), xml.size() * sizeof(char16_t),
                            pugi::parse_default | pugi::parse_ws_pcdata_single,
                            pugi::encoding_utf16_le)) {
    return 0;
  }
  std::size_t sum = 0;
  for (const pugi::xml_node setup : document.document_element().children()) {
    sum += std::strlen(setup.name());
    for (const pugi::xml_attribute attribute : setup.attributes()) {
      sum += std::strlen(attribute.value());
    }
    for (const pugi::xml_node property : setup.children()) {
      sum += std::strlen(property.name()) + std::strlen(property.text().get());
    }
  }
  return sum;
}

}  // namespace ornr::bench
