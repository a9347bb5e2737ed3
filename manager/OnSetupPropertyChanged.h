// The change callback the bridge calls when the user edited a value in the panel.
#pragma once

namespace ornr {

/// Reads the edited value back from the panel, stores it in the master file's setup of that
/// name and marks the setup modified. Ignored without a manager object, while the document is
/// being handed to the panel, or while the active model is a reference. Never throws.
void OnSetupPropertyChanged(const char16_t* setupName, const char* propertyName) noexcept;

}  // namespace ornr
