// The workbench's transcript on standard output: one event a line, in a stable form.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "host/controls/HostControls.h"
#include "panel/Panel.h"

namespace ornr::workbench {

class Transcript {
 public:
  /// With xml, panel documents are printed whole; otherwise summarised per setup.
  Transcript(std::ostream& out, bool xml) : out_(out), xml_(xml) {}
  ~Transcript();
  Transcript(const Transcript&) = delete;
  Transcript& operator=(const Transcript&) = delete;

  void Command(std::string_view line);
  void Result(int value);
  /// A document as the panel received it: printed whole with xml, otherwise only a null one.
  void Document(const Teskor::RenderSetup::TextView& xml);
  /// What the panel took in from a document, one line a setup (without xml).
  void Taken(const Teskor::RenderSetup::TextView& xml, bool taken,
             const std::vector<Teskor::RenderSetup::ViewModel::TakenElement>& elements);
  void Cleared();
  /// A refusal of the module: counts towards ErrorCount.
  void Message(const Teskor::RenderSetup::String& text);
  void Question(const ornhost::Question& question);
  /// Counts towards ErrorCount.
  void Error(std::string_view text);
  /// A line of a command's own output (show, list, help), printed as it is.
  void Line(std::string_view text);
  int ErrorCount() const noexcept { return errors_; }
  /// Also hands every line printed from now on to listener, as its prefix and text.
  using Listener = std::function<void(std::string_view prefix, std::string_view text)>;
  void SetListener(Listener listener) { listener_ = std::move(listener); }

  /// Routes the panel's documents, clears and message boxes, the host's questions and the host's
  /// errors here.
  /// Removed again by RemoveObservers or destruction.
  void InstallObservers();
  void RemoveObservers();

 private:
  void Print(std::string_view prefix, std::string_view text);

  std::ostream& out_;
  bool xml_;
  bool observing_ = false;
  Listener listener_;
  int errors_ = 0;
};

/// The readable lines of what the panel took in: one per setup element and per
/// "CurrentRenderSetup", without the "panel: " prefix.
std::vector<std::string> SummariseDocument(
    const std::vector<Teskor::RenderSetup::ViewModel::TakenElement>& elements);

}  // namespace ornr::workbench
