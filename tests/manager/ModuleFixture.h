// A host process around the module: design files in a temporary folder, the stand-in panel, and
// what the panel received.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "host/OrnSettings.h"
#include "host/controls/HostControls.h"
#include "ornr/IPrismetWrapper.h"
#include "ornr/ornr.h"
#include "panel/Panel.h"
#include "support/Utf.h"
#include "tests/schema/ViewModelSchema.h"

namespace ornr::testing {

using Teskor::ZelPlatform::OrnSettings;
namespace panel = Teskor::RenderSetup;

inline std::u16string U(const std::string& utf8) {
  return ornr::Utf8ToUtf16(utf8);
}
inline std::string N(const std::u16string& utf16) {
  return ornr::Utf16ToUtf8(utf16);
}

class ModuleFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ornhost::ResetAll();
    ornhost::RecordCalls(true);
    panel::View::MainPanel::Reset();
    dir_ = std::filesystem::temp_directory_path() /
           ("ornr-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
            "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    panel::View::MainPanel::SetDocumentObserver([this](const panel::TextView& xml) {
      documents_.emplace_back(xml.value_or(u""));
      const std::string errors = ornr::test::ViewModelSchemaErrors(documents_.back());
      EXPECT_EQ(errors, "") << N(documents_.back());
    });
    panel::View::MainPanel::SetClearObserver([this] { ++clears_; });
    panel::View::MainPanel::SetMessageBoxHandler(
        [this](const panel::String& text, const panel::String&) {
          messages_.push_back(N(text.value_or(u"")));
        });
  }

  void TearDown() override {
    ornR_Release();
    ornhost::ResetAll();
    ornhost::RecordCalls(false);
    panel::View::MainPanel::Reset();
    std::filesystem::remove_all(dir_);
  }

  std::filesystem::path File(const std::string& name) const { return dir_ / name; }
  std::u16string FileName(const std::string& name) const { return U(File(name).string()); }

  /// Stores setups in a design file as the host's own tools would.
  void Store(const std::string& file, const std::vector<std::u16string>& names) {
    for (const auto& name : names) ornhost::WriteSetup(File(file), name, OrnSettings{});
  }
  void Store(const std::string& file, const std::u16string& name, const OrnSettings& settings) {
    ornhost::WriteSetup(File(file), name, settings);
  }

  /// Opens the master file and offers the libraries as the host does, then starts the module and
  /// loads every setup; the documents this sends are taken.
  void Start(const std::string& master, const std::vector<std::string>& libraries = {}) {
    ornhost::OpenMaster(File(master));
    for (const auto& library : libraries) ornhost::AddLibrary(File(library));
    ornR_Init();
    ornR_LoadAllSetups(false);
    TakeDocuments();
  }

  /// The documents received since the last call, parsed.
  std::vector<pugi::xml_document> TakeDocuments() {
    std::vector<pugi::xml_document> parsed(documents_.size());
    for (std::size_t i = 0; i < documents_.size(); ++i) {
      EXPECT_TRUE(parsed[i].load_string(N(documents_[i]).c_str())) << N(documents_[i]);
    }
    documents_.clear();
    return parsed;
  }

  /// The first element of that name under a document's root.
  static pugi::xml_node Element(const pugi::xml_document& document, const char* name) {
    return document.child("RenderSetupViewModel").child(name);
  }

  /// The setups stored in a design file, in the host's order.
  std::vector<ornhost::StoredSetup> OnDisk(const std::string& file = "master.zel") {
    return ornhost::ReadSetups(File(file));
  }
  std::vector<std::u16string> NamesOnDisk(const std::string& file = "master.zel") {
    std::vector<std::u16string> names;
    for (const auto& s : OnDisk(file)) names.push_back(s.name);
    return names;
  }
  /// The stored settings of the setup of that name; the defaults, after a failure, when none.
  OrnSettings StoredSettings(const std::u16string& name, const std::string& file = "master.zel") {
    for (const auto& s : OnDisk(file)) {
      if (s.name == name) return s.settings;
    }
    ADD_FAILURE() << "not stored: " << N(name);
    return {};
  }

  std::uint32_t BlurPassesOnDisk(const std::u16string& name) {
    return StoredSettings(name).GetBlurPasses();
  }

  panel::ViewModel::RenderSetupViewModel& Panel() {
    return panel::View::MainPanel::Instance().ViewModel();
  }

  std::filesystem::path dir_;
  std::vector<std::u16string> documents_;
  std::vector<std::string> messages_;
  int clears_ = 0;
};

}  // namespace ornr::testing
