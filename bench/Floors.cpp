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

// Fields come in record order, so the i-th line is the i-th field: no lookup by key.
bool ParseField(std::string_view text, bool& out) {
  out = text == "true";
  return out || text == "false";
}
template <typename T>
bool ParseField(std::string_view text, T& out) {
  if constexpr (std::is_enum_v<T>) {
    std::underlying_type_t<T> raw{};
    const bool ok = ParseField(text, raw);
    out = static_cast<T>(raw);
    return ok;
  } else if constexpr (std::is_integral_v<T>) {
    if (!text.empty() && text.front() == '-') {
      std::make_signed_t<T> v{};
      const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
      out = static_cast<T>(v);
      return r.ec == std::errc();
    }
    const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
    return r.ec == std::errc();
  } else {
    const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
    return r.ec == std::errc();
  }
}

bool ParseRecord(std::string_view text, OrnSettings& settings) {
  const auto next = [&text](std::string_view key) -> std::string_view {
    const std::size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
    if (line.size() <= key.size() || line.compare(0, key.size(), key) != 0) return {};
    return line.substr(key.size() + 1);
  };
  bool ok = true;
#define ORN_FIELD(type, getter, setter, key, init) \
  {                                                \
    type value{};                                  \
    ok = ParseField(next(#key), value) && ok;      \
    settings.setter(value);                        \
  }
#include "host/OrnSettingsFields.def"
#undef ORN_FIELD
  return ok;
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
  if (sqlite3_prepare_v2(db, "SELECT name, settings FROM render_setups ORDER BY position", -1,
                         &stmt, nullptr) != SQLITE_OK) {
    const std::string error = sqlite3_errmsg(db);
    sqlite3_close_v2(db);
    throw std::runtime_error("floor query: " + error);
  }
  std::vector<FloorSetup> setups;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    FloorSetup& setup = setups.emplace_back();
    const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(stmt, 0));
    const int size = sqlite3_column_bytes(stmt, 0);
    setup.name.resize(static_cast<std::size_t>(size / 2));
    for (int i = 0; i + 1 < size; i += 2)
      setup.name[i / 2] = char16_t(bytes[i] | bytes[i + 1] << 8);
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1));
    ParseRecord(std::string_view(text, sqlite3_column_bytes(stmt, 1)), setup.settings);
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
