#include "workbench/Transcript.h"

#include <pugixml.hpp>

#include "support/Utf.h"
#include "workbench/CommandLexer.h"

namespace ornr::workbench {

namespace {

using Teskor::RenderSetup::String;
using Teskor::RenderSetup::View::MainPanel;

// Keeps every event on one line whatever a name or text holds.
std::string OneLine(std::string_view text, bool asXml) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c == '\n') {
      out += asXml ? "&#10;" : "\\n";
    } else if (c == '\r') {
      out += asXml ? "&#13;" : "\\r";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string Utf8(const String& text) {
  return text ? Utf16ToUtf8(*text) : std::string();
}

std::string SetupLine(const pugi::xml_node& setup, std::string_view kind) {
  std::size_t properties = 0;
  for (const pugi::xml_node child : setup.children()) {
    if (child.type() == pugi::node_element) ++properties;
  }
  std::string line = std::string(kind) + " setup " + AlwaysQuoted(setup.attribute("Name").value());
  line += " (New=" + std::string(setup.attribute("New").value());
  line += ", NewBorn=" + std::string(setup.attribute("NewBorn").value());
  line += ", StoreIn=" + AlwaysQuoted(setup.attribute("StoreIn").value());
  line += ", " + std::to_string(properties) + " properties)";
  return line;
}

}  // namespace

std::vector<std::string> SummariseDocument(std::u16string_view xml) {
  const std::string text = Utf16ToUtf8(xml);
  pugi::xml_document document;
  if (!document.load_buffer(text.data(), text.size()) ||
      std::string_view(document.document_element().name()) != "RenderSetupViewModel") {
    return {"not a view-model document: " + text};
  }
  std::vector<std::string> lines;
  for (const pugi::xml_node child : document.document_element().children()) {
    if (child.type() != pugi::node_element) continue;
    const std::string_view name = child.name();
    if (name == "SetupsFromMasterFile") {
      lines.push_back(SetupLine(child, "master"));
    } else if (name == "SetupsFromZelLib") {
      lines.push_back(SetupLine(child, "library"));
    } else if (name == "CurrentRenderSetup") {
      lines.push_back("current setup " + AlwaysQuoted(child.text().get()));
    } else {
      lines.push_back("element " + std::string(name));
    }
  }
  if (lines.empty()) lines.emplace_back("empty document");
  return lines;
}

Transcript::~Transcript() {
  RemoveObservers();
}

void Transcript::Print(std::string_view prefix, std::string_view text) {
  out_ << prefix << OneLine(text, false) << std::endl;
  if (listener_) listener_(prefix, text);
}

void Transcript::Command(std::string_view line) {
  Print("> ", line);
}

void Transcript::Result(int value) {
  Print("= ", std::to_string(value));
}

void Transcript::Document(const String& xml) {
  if (!xml) {
    Print("panel: ", "null document");
    return;
  }
  if (xml_) {
    out_ << "panel: " << OneLine(Utf16ToUtf8(*xml), true) << std::endl;
    return;
  }
  for (const std::string& line : SummariseDocument(*xml)) Print("panel: ", line);
}

void Transcript::Cleared() {
  Print("panel: ", "cleared");
}

void Transcript::Message(const String& text) {
  Print("message: ", Utf8(text));
}

void Transcript::Question(const ornhost::Question& question) {
  Print("question: ", Utf16ToUtf8(question.text) +
                          (question.answer == ornhost::kAnswerYes ? " -> yes" : " -> no"));
}

void Transcript::Error(std::string_view text) {
  ++errors_;
  Print("error: ", text);
}

void Transcript::Line(std::string_view text) {
  Print("", text);
}

void Transcript::InstallObservers() {
  MainPanel::SetDocumentObserver([this](const String& xml) { Document(xml); });
  MainPanel::SetClearObserver([this] { Cleared(); });
  MainPanel::SetMessageBoxHandler([this](const String& text, const String&) { Message(text); });
  ornhost::SetQuestionObserver([this](const ornhost::Question& question) { Question(question); });
  ornhost::SetErrorReporter([this](const std::string& message) { Error(message); });
  observing_ = true;
}

void Transcript::RemoveObservers() {
  if (!observing_) return;
  MainPanel::SetDocumentObserver(nullptr);
  MainPanel::SetClearObserver(nullptr);
  MainPanel::SetMessageBoxHandler(nullptr);
  ornhost::SetQuestionObserver(nullptr);
  ornhost::SetErrorReporter(nullptr);
  observing_ = false;
}

}  // namespace ornr::workbench
