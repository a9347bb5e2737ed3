// Provenance records in design files and the three-way comparison behind drift and merge.
#include "host/provenance/Provenance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "PlainSql.h"
#include "TempDir.h"
#include "host/OrnSetupManager.h"
#include "host/SessionMgr.h"
#include "host/history/History.h"
#include "host/session/HostState.h"
#include "host/store/SettingsText.h"

using ornhost::DriftState;
using Teskor::ZelPlatform::OrnSettings;

TEST(CompareThreeWays, EachSideAndBothSides) {
  struct Case {
    double here, base, library;
    DriftState state;
  };
  const Case cases[] = {
      {0.5, 0.5, 0.5, DriftState::Unchanged},
      {0.25, 0.5, 0.5, DriftState::ChangedHere},
      {0.5, 0.5, 0.75, DriftState::ChangedInLibrary},
      {0.25, 0.5, 0.75, DriftState::Conflict},
      {0.75, 0.5, 0.75, DriftState::ChangedAlike},
      // Values that only a lossy text would take as equal.
      {0.1 + 0.2, 0.3, 0.3, DriftState::ChangedHere},
      {-0.0, 0.0, 0.0, DriftState::ChangedHere},
      {1e300, 1e300, std::nextafter(1e300, 0.0), DriftState::ChangedInLibrary},
  };
  for (const Case& c : cases) {
    OrnSettings here, base, library;
    here.SetAlbedoScale(c.here);
    base.SetAlbedoScale(c.base);
    library.SetAlbedoScale(c.library);
    const auto rows = ornhost::CompareThreeWays(here, base, library);
    ASSERT_EQ(rows.size(), 68u);
    for (const auto& row : rows) {
      const DriftState expected = row.property == "AlbedoScale" ? c.state : DriftState::Unchanged;
      EXPECT_EQ(row.state, expected)
          << row.property << " " << c.here << " " << c.base << " " << c.library;
    }
  }
}

TEST(CompareThreeWays, SummaryCountsEachKindOnce) {
  struct Case {
    std::vector<DriftState> states;
    bool gone;
    std::string summary;
  };
  using S = DriftState;
  const Case cases[] = {
      {{S::Unchanged, S::ChangedAlike}, false, "up to date"},
      {{S::ChangedInLibrary}, false, "library has 1 newer value"},
      {{S::ChangedHere, S::ChangedHere, S::Conflict}, false, "2 local changes, 1 conflict"},
      {{S::ChangedInLibrary, S::ChangedInLibrary, S::ChangedHere, S::Conflict, S::Conflict},
       false,
       "library has 2 newer values, 1 local change, 2 conflicts"},
      {{}, true, "library setup gone"},
  };
  for (const Case& c : cases) {
    ornhost::Drift drift;
    drift.libraryGone = c.gone;
    for (const DriftState state : c.states) ++drift.counts[static_cast<std::size_t>(state)];
    EXPECT_EQ(drift.Summary(), c.summary);
  }
}

class ProvenanceFileTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::filesystem::path master = dir / "master.zel";
  std::filesystem::path library = dir / "office.zellib";
  Teskor::ZelPlatform::OrnSetupManager& store = Teskor::ZelPlatform::OrnSetupManager::GetManagerR();

  /// The library holds Sky with a lossless value; the master a copy of it.
  void CopySky() {
    OrnSettings sky;
    sky.SetPhotonDecay(0.1 + 0.2);
    ornhost::WriteSetup(library, u"Sky", sky);
    ornhost::WriteSetup(master, u"Sky", sky);
    ornhost::OpenMaster(master);
    ornhost::AddLibrary(library);
    ornhost::RecordProvenance(u"Sky");
  }
};

// The records are plain tables: another program reads where a setup came from, value exact.
TEST_F(ProvenanceFileTest, RecordsReadByPlainSql) {
  CopySky();
  EXPECT_EQ(SqlRows(master,
                    "SELECT s.name || ' from ' || p.library_setup_utf8 || ' in ' ||"
                    " p.library_file || ': ' || v.value FROM render_setups s"
                    " JOIN setup_provenance p USING (position)"
                    " JOIN setup_provenance_values v USING (position)"
                    " WHERE v.property = 'PhotonDecay'"),
            "Sky from Sky in " + library.string() + ": 0.30000000000000004;");
}

TEST_F(ProvenanceFileTest,
       RecordsFollowRenamesStayWhileADeletedSetupIsKeptAndNeedTheLibrarysValues) {
  CopySky();
  auto& file = *Teskor::KreelPlatform::ISessionMgr::GetManager().GetMasterZelFile();
  ASSERT_EQ(store.Rename(u"Sky", u"Night", file), 1);
  const auto origin = ornhost::ProvenanceOf(u"Night");
  ASSERT_TRUE(origin);
  EXPECT_EQ(origin->librarySetup, u"Sky");
  EXPECT_EQ(origin->base.GetPhotonDecay(), 0.1 + 0.2);
  EXPECT_EQ(ornhost::DriftOf(u"Night")->Summary(), "up to date");

  // A deleted setup keeps it for an undelete, as long as the file keeps deleted setups.
  store.Delete(u"Night", file);
  EXPECT_EQ(SqlRows(master, "SELECT count(*) FROM setup_provenance_values"), "68;");
  EXPECT_FALSE(ornhost::ProvenanceOf(u"Night"));
  ornhost::SetHistoryLimits({50, 0});
  EXPECT_EQ(SqlRows(master, "SELECT count(*) FROM setup_provenance_values"), "0;");

  // A setup whose values are not the library's was not taken from it.
  ornhost::WriteSetup(master, u"Sky", OrnSettings());
  EXPECT_THROW(ornhost::RecordProvenance(u"Sky"), ornhost::ProvenanceError);
  EXPECT_THROW(ornhost::RecordProvenance(u"Nope"), ornhost::ProvenanceError);
  EXPECT_FALSE(ornhost::ProvenanceOf(u"Sky"));
}

TEST_F(ProvenanceFileTest, APendingBaseWaitsForTheSaveAndGoesWithAReset) {
  CopySky();
  auto& file = *Teskor::KreelPlatform::ISessionMgr::GetManager().GetMasterZelFile();
  OrnSettings next;
  next.SetPhotonDecay(0.5);
  for (const bool save : {false, true}) {
    ornhost::SetWorkingSetting(u"Sky", "PhotonDecay", "0.5");
    ornhost::SetPendingBase(u"Sky", next);
    EXPECT_TRUE(ornhost::HasPendingBase(u"Sky"));
    EXPECT_TRUE(ornhost::DriftOf(u"Sky")->pendingBase);
    if (save) {
      store.Save(u"Sky", file);
    } else {
      store.Reset(u"Sky", file);
    }
    EXPECT_FALSE(ornhost::HasPendingBase(u"Sky"));
    EXPECT_EQ(ornhost::ProvenanceOf(u"Sky")->base.GetPhotonDecay(), save ? 0.5 : 0.1 + 0.2);
  }
  EXPECT_THROW(ornhost::SetWorkingSetting(u"Sky", "PhotonDecay", "x"), ornhost::ProvenanceError);
  EXPECT_THROW(ornhost::SetWorkingSetting(u"Sky", "Nope", "1"), ornhost::ProvenanceError);
}

// The base a merge left belongs to the setup: it follows a rename into the save, shows in what a
// recovery file would keep, and goes with the setup or when its values are stored some other way.
TEST_F(ProvenanceFileTest, APendingBaseStaysWithItsSetupUntilItsValuesAreStoredAnew) {
  using Teskor::ZelPlatform::ZelFile;
  const auto document = dir / "sky.json";
  struct Case {
    const char* what;
    std::function<void(ZelFile&)> then;
    const char16_t* name;  // the setup's name afterwards
    bool pending;
  };
  const Case cases[] = {
      {"renamed", [&](ZelFile& file) { store.Rename(u"Sky", u"Night", file); }, u"Night", true},
      {"deleted and brought back",
       [&](ZelFile& file) {
         store.Delete(u"Sky", file);
         ornhost::UndeleteSetup(u"Sky");
       },
       u"Sky", false},
      {"imported over",
       [&](ZelFile&) {
         ornhost::ExportSetups(library, {u"Sky"}, document);
         ornhost::ImportSetups(master, document, true);
       },
       u"Sky", false},
      {"its provenance stored anew",
       [&](ZelFile&) { ornhost::StoreProvenance(master, u"Sky", ornhost::ProvenanceOf(u"Sky")); },
       u"Sky", false},
  };
  OrnSettings next;
  next.SetPhotonDecay(0.5);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ornhost::ResetAll();
    for (const auto& path : {master, library}) std::filesystem::remove(path);
    CopySky();
    auto& file = *Teskor::KreelPlatform::ISessionMgr::GetManager().GetMasterZelFile();
    ornhost::SetWorkingSetting(u"Sky", "PhotonDecay", "0.5");
    ornhost::SetPendingBase(u"Sky", next);
    c.then(file);
    EXPECT_EQ(ornhost::HasPendingBase(c.name), c.pending);
    const auto origins = ornhost::detail::OriginsOfWorkingCopies(*ornhost::detail::State().master);
    const auto origin = origins.find(c.name);
    if (!c.pending) {
      if (origin != origins.end()) {
        EXPECT_EQ(origin->second.base.GetPhotonDecay(), 0.1 + 0.2);
      }
      continue;
    }
    ASSERT_NE(origin, origins.end());
    EXPECT_EQ(origin->second.base.GetPhotonDecay(), 0.5);
    ASSERT_EQ(store.Save(c.name, file), 1);
    EXPECT_FALSE(ornhost::HasPendingBase(c.name));
    EXPECT_EQ(ornhost::ProvenanceOf(c.name)->base.GetPhotonDecay(), 0.5);
  }
}
