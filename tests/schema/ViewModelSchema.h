// Checks view-model documents with an independent parser (libxml2) against docs/view-model.xsd.
#pragma once

#include <string>
#include <string_view>

namespace ornr::test {

/// What libxml2 finds wrong with the document (not well-formed XML 1.0, or not valid against
/// the schema), one problem a line; empty when it is valid.
std::string ViewModelSchemaErrors(std::u16string_view xml);
/// What libxml2 finds wrong with a text that should be well-formed XML 1.0; empty when it is.
std::string XmlErrors(std::u16string_view xml);

}  // namespace ornr::test
