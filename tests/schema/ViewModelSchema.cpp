#include "tests/schema/ViewModelSchema.h"

#include <libxml/parser.h>
#include <libxml/xmlschemas.h>

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "support/Utf.h"

namespace ornr::test {

namespace {

void Collect(void* context, const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  static_cast<std::string*>(context)->append(line);
}

// Parsed once per process; libxml2's schema object is read-only while validating.
xmlSchemaPtr Schema() {
  static xmlSchemaPtr schema = [] {
    xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt(ORNR_VIEW_MODEL_XSD);
    xmlSchemaPtr parsed = parser ? xmlSchemaParse(parser) : nullptr;
    xmlSchemaFreeParserCtxt(parser);
    if (parsed == nullptr) throw std::runtime_error("cannot read " ORNR_VIEW_MODEL_XSD);
    return parsed;
  }();
  return schema;
}

using Document = std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)>;

// The panel gets UTF-16; libxml2 reads the same characters as UTF-8, so a stray surrogate becomes
// bytes it refuses, as a strict parser must.
Document Parse(std::u16string_view xml, std::string& errors) {
  const std::string utf8 = ornr::Utf16ToUtf8(xml);
  xmlSetGenericErrorFunc(&errors, &Collect);
  Document document(xmlReadMemory(utf8.data(), static_cast<int>(utf8.size()), "view-model.xml",
                                  "UTF-8", XML_PARSE_NONET),
                    &xmlFreeDoc);
  xmlSetGenericErrorFunc(nullptr, nullptr);
  if (document == nullptr && errors.empty()) errors = "not well-formed XML";
  return document;
}

}  // namespace

std::string XmlErrors(std::u16string_view xml) {
  std::string errors;
  Parse(xml, errors);
  return errors;
}

std::string ViewModelSchemaErrors(std::u16string_view xml) {
  std::string errors;
  const Document document = Parse(xml, errors);
  if (document == nullptr) return errors;
  const std::unique_ptr<xmlSchemaValidCtxt, decltype(&xmlSchemaFreeValidCtxt)> validator(
      xmlSchemaNewValidCtxt(Schema()), &xmlSchemaFreeValidCtxt);
  xmlSchemaSetValidErrors(validator.get(), &Collect, &Collect, &errors);
  if (xmlSchemaValidateDoc(validator.get(), document.get()) != 0 && errors.empty()) {
    errors = "not valid against the schema";
  }
  return errors;
}

}  // namespace ornr::test
