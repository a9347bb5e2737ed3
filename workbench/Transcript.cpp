#include "workbench/Transcript.h"

#include "support/OneLine.h"
#include "support/Utf.h"
#include "workbench/commands/CommandLexer.h"

namespace ornr::workbench {

namespace {

using Teskor::RenderSetup::String;
using Teskor::RenderSetup::TextView;
using Teskor::RenderSetup::View::MainPanel;
using Teskor::RenderSetup::ViewModel::TakenElement;

std::string Utf8(const String& text) {
  return text ? Utf16ToUtf8(*text) : std::string();
}

// A load prints one for each setup: built in place, without a string for each part.
void SetupLine(std::string& line, const TakenElement& setup, std::string_view kind) {
  line.reserve(64 + setup.name.size() + setup.storeIn.size() + setup.newText.size() +
               setup.newBornText.size());
  line.append(kind).append(" setup ");
  AppendAlwaysQuoted(line, setup.name);
  line.append(" (New=").append(setup.newText);
  line.append(", NewBorn=").append(setup.newBornText);
  line.append(", StoreIn=");
  AppendAlwaysQuoted(line, setup.storeIn);
  line.append(", ").append(std::to_string(setup.properties)).append(" properties)");
}

// The line of one element, in place of what line held.
void SummaryLine(std::string& line, const TakenElement& element) {
  line.clear();
  switch (element.kind) {
    case TakenElement::Kind::MasterSetup:
      SetupLine(line, element, "master");
      break;
    case TakenElement::Kind::LibrarySetup:
      SetupLine(line, element, "library");
      break;
    case TakenElement::Kind::CurrentSetup:
      line.append("current setup ");
      AppendAlwaysQuoted(line, element.name);
      break;
    case TakenElement::Kind::Other:
      line.append("element ").append(element.element);
      break;
  }
}

constexpr std::string_view kEmptyDocument = "empty document";

}  // namespace

std::vector<std::string> SummariseDocument(const std::vector<TakenElement>& elements) {
  std::vector<std::string> lines;
  lines.reserve(elements.size());
  for (const TakenElement& element : elements) SummaryLine(lines.emplace_back(), element);
  if (lines.empty()) lines.emplace_back(kEmptyDocument);
  return lines;
}

Transcript::~Transcript() {
  RemoveObservers();
}

void Transcript::Print(std::string_view prefix, std::string_view text) {
  const std::string line = OneLineText(text);
  out_ << prefix << line << std::endl;
  if (listener_) listener_(prefix, line);
}

void Transcript::Command(std::string_view line) {
  Print("> ", line);
}

void Transcript::Result(int value) {
  Print("= ", std::to_string(value));
}

void Transcript::Document(const TextView& xml) {
  if (!xml) {
    Print("panel: ", "null document");
    return;
  }
  if (xml_) out_ << "panel: " << OneLineXml(Utf16ToUtf8(*xml)) << std::endl;
}

void Transcript::Taken(const TextView& xml, bool taken, const std::vector<TakenElement>& elements) {
  if (xml_) return;
  if (!taken) {
    Print("panel: ", "not a view-model document: " + Utf16ToUtf8(xml.value_or(u"")));
    return;
  }
  // One flush for the whole document: a load prints a line per setup, each built in one string.
  std::string lines;
  lines.reserve(elements.size() * 100);
  std::string line;
  const auto add = [&lines](std::string_view text) {
    lines += "panel: ";
    AppendOneLineText(lines, text);
    lines += '\n';
  };
  for (const TakenElement& element : elements) {
    SummaryLine(line, element);
    add(line);
  }
  if (elements.empty()) add(kEmptyDocument);
  out_ << lines << std::flush;
}

void Transcript::Cleared() {
  Print("panel: ", "cleared");
}

void Transcript::Message(const String& text) {
  // The module shows a message box only to say it refused a command.
  ++errors_;
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
  MainPanel::SetDocumentObserver([this](const TextView& xml) { Document(xml); });
  MainPanel::SetTakenObserver(
      [this](const TextView& xml, bool taken, const std::vector<TakenElement>& elements) {
        Taken(xml, taken, elements);
      });
  MainPanel::SetClearObserver([this] { Cleared(); });
  MainPanel::SetMessageBoxHandler([this](const String& text, const String&) { Message(text); });
  ornhost::SetQuestionObserver([this](const ornhost::Question& question) { Question(question); });
  ornhost::SetErrorReporter([this](const std::string& message) { Error(message); });
  observing_ = true;
}

void Transcript::RemoveObservers() {
  if (!observing_) return;
  MainPanel::SetDocumentObserver(nullptr);
  MainPanel::SetTakenObserver(nullptr);
  MainPanel::SetClearObserver(nullptr);
  MainPanel::SetMessageBoxHandler(nullptr);
  ornhost::SetQuestionObserver(nullptr);
  ornhost::SetErrorReporter(nullptr);
  observing_ = false;
}

}  // namespace ornr::workbench
