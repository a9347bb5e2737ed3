// A design file read without a session, and merges stored back into it: all or nothing, never over
// what another session wrote since it was read.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "PlainSql.h"
#include "TempDir.h"
#include "host/controls/HostControls.h"
#include "host/provenance/Provenance.h"
#include "host/provenance/StoredSetups.h"

namespace {

using Teskor::ZelPlatform::OrnSettings;
using ::testing::HasSubstr;

OrnSettings BlurPasses(std::uint32_t passes) {
  OrnSettings settings;
  settings.SetBlurPasses(passes);
  return settings;
}

class StoredSetupsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ornhost::WriteSetups(file_, {{u"Sky", true, BlurPasses(8)}, {u"Sea", true, BlurPasses(8)}});
    for (const char16_t* name : {u"Sky", u"Sea"}) {
      ornhost::StoreProvenance(
          file_, name,
          ornhost::Provenance{u"lib.zellib", "/office/lib.zellib", name, "2026-01-15T09:30:00Z",
                              BlurPasses(8), std::nullopt});
    }
  }
  // Both setups merged with a library that moved BlurPasses to 9.
  std::vector<ornhost::StoredMerge> Merges() {
    std::vector<ornhost::StoredMerge> merges;
    for (auto& setup : ornhost::ReadStoredFile(file_).setups) {
      merges.push_back({setup.name, setup.row, *setup.origin, BlurPasses(9), BlurPasses(9)});
    }
    return merges;
  }
  std::string Snapshot() {
    return SqlRows(file_, "SELECT name || BlurPasses FROM render_setups") +
           SqlRows(file_,
                   "SELECT position || property || value FROM setup_provenance_values"
                   " WHERE property = 'BlurPasses'");
  }

  TempDir dir_;
  std::filesystem::path file_ = dir_ / "tower.zel";
};

TEST_F(StoredSetupsTest, MergesAreStoredTogetherWithTheirBaseAndAVersion) {
  ornhost::StoreMerges(file_, Merges(), "audit fix");
  EXPECT_EQ(SqlRows(file_, "SELECT name || BlurPasses FROM render_setups ORDER BY position"),
            "Sky9;Sea9;");
  for (const auto& [name, origin] : ornhost::ProvenanceInFile(file_)) {
    EXPECT_EQ(origin.base.GetBlurPasses(), 9u);
    EXPECT_NE(origin.takenAt, "2026-01-15T09:30:00Z");
  }
  EXPECT_EQ(SqlNumber(file_, "SELECT count(*) FROM setup_versions WHERE action = 'audit fix'"), 2);
}

TEST_F(StoredSetupsTest, AnotherSessionsWriteSinceTheReadRefusesTheWholeFile) {
  struct Case {
    const char* what;
    std::function<void()> meanwhile;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"a save", [&] { ornhost::WriteSetup(file_, u"Sea", BlurPasses(12)); },
       "another session has changed \"Sea\" since it was read"},
      {"a plain SQL edit",
       [&] { Sql(file_, "UPDATE render_setups SET BlurPasses = 3 WHERE name = 'Sea'"); },
       "another session has changed \"Sea\""},
      {"a rename",
       [&] { Sql(file_, "UPDATE render_setups SET name = 'Ocean' WHERE name = 'Sea'"); },
       "another session has changed \"Sea\""},
      {"a delete", [&] { Sql(file_, "DELETE FROM render_setups WHERE name = 'Sea'"); },
       "another session has deleted \"Sea\""},
      {"a merge that moved only the base",
       [&] {
         ornhost::StoreProvenance(
             file_, u"Sea",
             ornhost::Provenance{u"lib.zellib", "/office/lib.zellib", u"Sea",
                                 "2026-02-01T00:00:00Z", BlurPasses(9), std::nullopt});
       },
       "another session has merged or changed where \"Sea\" came from"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    const auto merges = Merges();
    c.meanwhile();
    const std::string before = Snapshot();
    try {
      ornhost::StoreMerges(file_, merges, "audit fix");
      ADD_FAILURE() << "stored over another session's write";
    } catch (const ornhost::DesignFileError& error) {
      EXPECT_THAT(error.Reason(), HasSubstr(c.reason));
    }
    // Not even the first setup, which nobody touched, was written.
    EXPECT_EQ(Snapshot(), before);
    std::filesystem::remove(file_);
  }
}

TEST_F(StoredSetupsTest, AFileThatIsGoneIsNotMadeAgain) {
  const auto merges = Merges();
  std::filesystem::remove(file_);
  EXPECT_THROW(ornhost::StoreMerges(file_, merges, "audit fix"), ornhost::DesignFileError);
  EXPECT_FALSE(std::filesystem::exists(file_));
}

}  // namespace
