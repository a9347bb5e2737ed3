#include "bridge/Localizable.h"

namespace ornr::bridge {

namespace {

// The texts are stored as the original table has them, the escaped apostrophe included.
constexpr LocalizableEntry kNeutral[] = {
    {u"MESSAGEID_SetupSaveChanges", u"There are unsaved Render Setups. Do you wish to save now?"},
    {u"MESSAGEID_Untitled", u"Untitled"},
    {u"MSGSTR_CanNotLocateFile", u"Can't locate or read the file \"{0}\"!"},
    {u"MSGSTR_FailedOperateOnModel", u"Failed to do operation on active model."},
    {u"MSGSTR_LoadWholeAnimation",
     u"This image appears to be the first of a sequence. Do you want to load the whole image "
     u"sequence?"},
    {u"MSGSTR_ReflectionMapSmoothJoin",
     u"This map doesn\\'t join seamlessly. Would you like to create a seamless joint?"},
    {u"Title_RenderSetup", u"Render Setup Manager"},
};

}  // namespace

const char16_t* NeutralText(std::u16string_view key) noexcept {
  for (const LocalizableEntry& entry : kNeutral) {
    if (entry.key == key) return entry.text;
  }
  return nullptr;
}

std::span<const LocalizableEntry> NeutralTable() noexcept {
  return kNeutral;
}

}  // namespace ornr::bridge
