// Setups as text: export, then import elsewhere, loses nothing; a document with any problem is
// refused whole, each problem named with its file, line and property.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdint>
#include <limits>

#include "TempDir.h"
#include "host/provenance/Provenance.h"

using Teskor::ZelPlatform::OrnSettings;
using ::testing::HasSubstr;

namespace {

class SetupExchangeTest : public ::testing::Test {
 protected:
  // A one-setup document exported from a design file: "A" with BlurPasses 7.
  std::string BaseDocument() {
    OrnSettings settings;
    settings.SetBlurPasses(7);
    ornhost::WriteSetup(dir_ / "source.zel", u"A", settings);
    ornhost::ExportSetups(dir_ / "source.zel", {u"A"}, dir_ / "a.json");
    return FileBytes(dir_ / "a.json");
  }
  std::vector<ornhost::ImportProblem> ImportProblems(const std::string& document) {
    std::ofstream(dir_ / "in.json", std::ios::binary) << document;
    try {
      ornhost::ImportSetups(dir_ / "target.zel", dir_ / "in.json", false);
    } catch (const ornhost::ImportError& error) {
      return error.Problems();
    }
    return {};
  }
  static std::size_t LineOf(const std::string& document, const std::string& text) {
    const std::size_t at = document.find(text);
    return at == std::string::npos ? 0
                                   : 1 + std::count(document.begin(), document.begin() + at, '\n');
  }

  TempDir dir_;
};

TEST_F(SetupExchangeTest, ExportThenImportIntoAnEmptyFileIsValueIdentical) {
  OrnSettings extremes;
  extremes.SetInterocularDistance(1.234e-07);
  extremes.SetConvergenceDistance(0.1);
  extremes.SetQualityThreshold(std::numeric_limits<double>::denorm_min());
  extremes.SetTextureFiltering(DBL_MAX);
  extremes.SetAlbedoScale(-0.0);
  extremes.SetPhotonDecay(1.0 / 3.0);
  extremes.SetRenderOutputChannels(std::numeric_limits<std::uint64_t>::max());
  extremes.SetMaxSamplesPerPixel(std::numeric_limits<std::uint32_t>::max());
  extremes.SetGlobalShadowQuality(
      static_cast<OrnSettings::GlobalShadowQuality>(std::numeric_limits<std::int32_t>::min()));
  extremes.SetDoShadows(false);
  const std::vector<std::u16string> names = {u"Quote \" and \\ back", u"Ünïcode 𝄞 <&]", u"plain"};
  for (const auto& name : names) ornhost::WriteSetup(dir_ / "from.zel", name, extremes);
  ornhost::WriteSetup(dir_ / "from.zel", u"not exported", OrnSettings());

  ornhost::ExportSetups(dir_ / "from.zel", names, dir_ / "setups.json");
  EXPECT_EQ(ornhost::ImportSetups(dir_ / "to.zel", dir_ / "setups.json", false), names);

  const auto imported = ornhost::ReadSetups(dir_ / "to.zel");
  ASSERT_EQ(imported.size(), names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(imported[i].name, names[i]);
    // Texts are exact: -0 and 0, or two doubles one ulp apart, read differently.
    const auto got = ornhost::SettingTexts(imported[i].settings);
    const auto want = ornhost::SettingTexts(extremes);
    for (std::size_t f = 0; f < want.size(); ++f) EXPECT_EQ(got.at(f), want[f]);
  }
  EXPECT_THAT(FileBytes(dir_ / "setups.json"), HasSubstr("\"InterocularDistance\": 1.234e-07,"));
}

TEST_F(SetupExchangeTest, ExportRefusesNamesItCannotFindAndLeavesTheTargetAlone) {
  ornhost::WriteSetup(dir_ / "f.zel", u"Kept", OrnSettings());
  ornhost::WriteSetup(dir_ / "f.zel", u"Damaged", OrnSettings());
  ornhost::InvalidateSetup(dir_ / "f.zel", u"Damaged");
  std::ofstream(dir_ / "out.json") << "before";
  for (const char16_t* missing : {u"Absent", u"Damaged"}) {
    EXPECT_THROW(ornhost::ExportSetups(dir_ / "f.zel", {u"Kept", missing}, dir_ / "out.json"),
                 ornhost::DesignFileError);
    EXPECT_EQ(FileBytes(dir_ / "out.json"), "before");
  }
}

TEST_F(SetupExchangeTest, EachProblemIsNamedWithLineAndPropertyAndNothingIsImported) {
  const std::string base = BaseDocument();
  struct Case {
    std::string from, to;  // the change made to the document
    std::string at;        // text on the line the problem is reported at
    std::string property;  // what the problem names
    std::string message;   // part of the message
  };
  const Case cases[] = {
      {"\"BlurPasses\": 7", "\"BlurPasses\": -1", "BlurPasses", "setups[0].settings.BlurPasses",
       "out of the range of UInt32"},
      {"\"BlurPasses\": 7", "\"BlurPasses\": 4294967296", "BlurPasses",
       "setups[0].settings.BlurPasses", "out of the range of UInt32"},
      {"\"ShadowQuality\": 1", "\"ShadowQuality\": 2147483648", "ShadowQuality",
       "setups[0].settings.ShadowQuality", "out of the range of Int32"},
      {"\"BlurPasses\": 7", "\"BlurPasses\": 7.5", "BlurPasses", "setups[0].settings.BlurPasses",
       "expected an integer"},
      {"\"DoShadows\": true", "\"DoShadows\": 1", "DoShadows", "setups[0].settings.DoShadows",
       "expected true or false"},
      {"\"AlbedoScale\": 1.0", "\"AlbedoScale\": \"1\"", "AlbedoScale",
       "setups[0].settings.AlbedoScale", "expected a number"},
      {"\"AlbedoScale\": 1.0", "\"AlbedoScale\": 1e999", "AlbedoScale", "", "number overflow"},
      {"\"DoShadows\": true,", "\"DoShadows\": true, \"Shadows\": true,", "DoShadows",
       "setups[0].settings.Shadows", "unknown property"},
      {"\"DoShadows\": true,", "\"DoShadows\": true, \"DoShadows\": false,", "DoShadows",
       "setups[0].settings.DoShadows", "repeated"},
      {"        \"Stereo\": false,\n", "", "\"settings\"", "setups[0].settings.Stereo", "missing"},
      {"\"version\": 1", "\"version\": 2", "version", "version", "newer than version 1"},
      {"\"name\": \"A\"", "\"name\": \"\"", "\"name\"", "setups[0].name", "needs a name"},
      {"\"name\": \"A\"", "\"name\": \"A\\u0001B\"", "\"name\"", "setups[0].name", "control"},
      // 128 characters, as JSON Schema's maxLength counts them, but 256 UTF-16 code units.
      {"\"name\": \"A\"",
       "\"name\": \"" +
           [] {
             std::string name;
             for (int i = 0; i < 128; ++i) name += "\\uD83C\\uDF04";
             return name;
           }() +
           "\"",
       "\"name\"", "setups[0].name", "longer than 254 UTF-16 code units (256)"},
      {"\"name\": \"A\",", "\"name\": \"A\", \"nom\": 1,", "\"nom\"", "setups[0].nom",
       "unknown member"},
      {"\"BlurPasses\": 7,", "\"BlurPasses\": 7,,", "BlurPasses", "", "not JSON"},
      // A second member of a name is refused at every level, and its value is not read.
      {"\"version\": 1,", "\"version\": 1, \"version\": 1,", "\"version\"", "version",
       "repeated (first at line 3)"},
      {"\"setups\": [", "\"setups\": [], \"setups\": [", "\"setups\"", "setups", "repeated"},
      {"\"name\": \"A\",", "\"name\": \"A\", \"name\": \"B\",", "\"name\"", "setups[0].name",
       "repeated"},
      {"\n    }\n  ]", ",\n      \"settings\": {}\n    }\n  ]", "\"settings\": {}",
       "setups[0].settings", "repeated (first at line 7)"},
      {"\"BlurPasses\": 7,", "\"BlurPasses\": [7],", "BlurPasses", "setups[0].settings.BlurPasses",
       "expected an integer (UInt32), got an array"},
  };
  for (const Case& c : cases) {
    std::string document = base;
    ASSERT_NE(document.find(c.from), std::string::npos) << c.from;
    document.replace(document.find(c.from), c.from.size(), c.to);
    const auto problems = ImportProblems(document);
    ASSERT_EQ(problems.size(), 1u) << c.to;
    EXPECT_EQ(problems[0].file, (dir_ / "in.json").string());
    EXPECT_EQ(problems[0].line, LineOf(document, c.at)) << c.to;
    EXPECT_EQ(problems[0].property, c.property) << c.to;
    EXPECT_THAT(problems[0].message, HasSubstr(c.message)) << c.to;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "target.zel")) << "nothing imported: " << c.to;
  }
}

// Where a setup came from nests two levels deeper; its members are checked as the setup's are.
TEST_F(SetupExchangeTest, ASourceImportsWithItsBaseAndIsCheckedAsDeeply) {
  OrnSettings base;
  base.SetBlurPasses(5);
  ornhost::WriteSetup(dir_ / "source.zel", u"A", OrnSettings());
  ornhost::StoreProvenance(dir_ / "source.zel", u"A",
                           ornhost::Provenance{u"lib.zel", "/lib.zel", u"L", "2026-01-02T03:04:05Z",
                                               base, std::nullopt});
  ornhost::ExportSetups(dir_ / "source.zel", {u"A"}, dir_ / "a.json");
  const std::string document = FileBytes(dir_ / "a.json");
  ASSERT_NO_THROW(ornhost::ImportSetups(dir_ / "target.zel", dir_ / "a.json", false));
  const auto origins = ornhost::ProvenanceInFile(dir_ / "target.zel");
  ASSERT_EQ(origins.count(u"A"), 1u);
  EXPECT_EQ(origins.at(u"A").takenAt, "2026-01-02T03:04:05Z");
  EXPECT_EQ(origins.at(u"A").base.GetBlurPasses(), 5u);
  std::filesystem::remove(dir_ / "target.zel");

  const std::size_t inBase = document.rfind("\"BlurPasses\": 5,");
  const std::size_t taken = document.find("\"takenAt\"");
  struct Case {
    std::size_t at;
    std::string from, to, property, message;
  };
  const Case cases[] = {
      {inBase, "\"BlurPasses\": 5,", "\"BlurPasses\": 5, \"BlurPasses\": 6,",
       "setups[0].source.base.BlurPasses", "repeated"},
      {taken, "\"takenAt\"", "\"takenAt\": \"x\", \"takenAt\"", "setups[0].source.takenAt",
       "repeated"},
      {taken, "\"takenAt\"", "\"when\": 1, \"takenAt\"", "setups[0].source.when", "unknown member"},
  };
  for (const Case& c : cases) {
    std::string changed = document;
    ASSERT_NE(c.at, std::string::npos) << c.to;
    changed.replace(c.at, c.from.size(), c.to);
    const auto problems = ImportProblems(changed);
    ASSERT_EQ(problems.size(), 1u) << c.to;
    EXPECT_EQ(problems[0].line, 1 + std::count(changed.begin(), changed.begin() + c.at, '\n'));
    EXPECT_EQ(problems[0].property, c.property);
    EXPECT_THAT(problems[0].message, HasSubstr(c.message));
  }
}

// A setup's standards are checked member by member as deeply as its values.
TEST_F(SetupExchangeTest, StandardsAreCheckedWhereTheyAreWrong) {
  const std::string document = BaseDocument();
  const std::size_t settings = document.find("\"settings\"");
  struct Case {
    std::string members, property, message;
  };
  const Case cases[] = {
      {"\"scope\": [\"BlurPasses\", \"Sky\"]", "setups[0].scope[1]", "unknown property \"Sky\""},
      {"\"scope\": [\"BlurPasses\", \"BlurPasses\"]", "setups[0].scope[1]", "in the list twice"},
      {"\"scope\": []", "setups[0].scope", "at least one property"},
      {"\"scope\": [\"BlurPasses\"], \"locks\": {\"ReflectDepth\": \"x\"}",
       "setups[0].locks.ReflectDepth", "not in the setup's scope"},
      {"\"notes\": {\"BlurPasses\": \"\"}", "setups[0].notes.BlurPasses", "not empty"},
      {"\"overrides\": {\"BlurPasses\": {\"reason\": \"r\", \"madeBy\": \"u\"}}",
       "setups[0].overrides.BlurPasses.madeAt", "missing"},
      {"\"overrides\": {\"BlurPasses\": {\"reason\": \"r\", \"madeBy\": \"u\", "
       "\"madeAt\": \"yesterday\"}}",
       "setups[0].overrides.BlurPasses.madeAt", "UTC time"},
      {"\"overlays\": [{\"libraryFile\": \"l.zellib\", \"libraryPath\": \"/l.zellib\", "
       "\"librarySetup\": \"L\", \"takenAt\": \"2026-01-02T03:04:05Z\", \"base\": {}}]",
       "setups[0].overlays[0].base", "at least one property"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.members);
    std::string changed = document;
    changed.insert(settings, c.members + ",\n      ");
    const auto problems = ImportProblems(changed);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].property, c.property);
    EXPECT_THAT(problems[0].message, HasSubstr(c.message));
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ / "target.zel"));
}

// Nesting is read up to 16 levels and refused beyond, where it goes deeper: the parser's own
// stack and ours stay small whatever the file holds.
TEST_F(SetupExchangeTest, NestingDeeperThanSixteenLevelsIsRefusedWhereItIs) {
  const std::string base = BaseDocument();
  const auto nested = [](std::size_t levels) {
    return std::string(levels, '[') + std::string(levels, ']');
  };
  struct Case {
    std::string document;
    std::size_t line;
    std::string property, message;
  };
  const std::string extra = "{\n  \"extra\": ";
  const Case cases[] = {
      // The root and 15 arrays: deep, but read, so the member is what is wrong.
      {extra + nested(15) + ",\n" + base.substr(2), 2, "extra", "unknown member"},
      {extra + nested(16) + ",\n" + base.substr(2), 2, "", "nested deeper than 16 levels"},
      {"{\n\n  \"format\": " + nested(400000) + "}", 3, "", "nested deeper than 16 levels"},
      {nested(400000), 1, "", "nested deeper than 16 levels"},
  };
  for (const Case& c : cases) {
    const auto problems = ImportProblems(c.document);
    ASSERT_EQ(problems.size(), 1u) << c.message;
    EXPECT_EQ(problems[0].line, c.line);
    EXPECT_EQ(problems[0].property, c.property);
    EXPECT_EQ(problems[0].message, c.message);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "target.zel"));
  }
}

// A file of nothing but problems is refused with the first thousand listed and the rest counted.
TEST_F(SetupExchangeTest, ProblemsBeyondAThousandAreCountedNotListed) {
  std::string document = BaseDocument();
  for (int i = 0; i < 1500; ++i) document.insert(2, "\"x" + std::to_string(i) + "\": 0,\n");
  std::ofstream(dir_ / "in.json", std::ios::binary) << document;
  try {
    ornhost::ImportSetups(dir_ / "target.zel", dir_ / "in.json", false);
    FAIL() << "imported";
  } catch (const ornhost::ImportError& error) {
    EXPECT_EQ(error.Problems().size(), 1000u);
    EXPECT_EQ(error.Unlisted(), 500u);
    EXPECT_EQ(error.Problems().back().property, "x500");
    EXPECT_THAT(error.what(), HasSubstr("(and 1499 more problems)"));
  }
}

TEST_F(SetupExchangeTest, NamesAreNewOnceEachUnlessReplacing) {
  const std::string one = BaseDocument();
  std::string twice = one;
  const std::string setup =
      one.substr(one.find("    {"), one.rfind("    }") + 5 - one.find("    {"));
  twice.insert(one.rfind("    }") + 5, ",\n" + setup);
  const auto problems = ImportProblems(twice);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_THAT(problems[0].message, HasSubstr("in the file twice"));
  const std::size_t secondName = twice.rfind("\"name\"");
  EXPECT_EQ(problems[0].line, 1 + std::count(twice.begin(), twice.begin() + secondName, '\n'));

  // A setup the file holds already is kept unless the import replaces it.
  OrnSettings stored;
  stored.SetBlurPasses(99);
  ornhost::WriteSetup(dir_ / "target.zel", u"A", stored);
  ornhost::WriteSetup(dir_ / "target.zel", u"B", stored);
  EXPECT_THAT(ImportProblems(one).at(0).message, HasSubstr("already holds \"A\""));
  EXPECT_EQ(ornhost::ReadSetups(dir_ / "target.zel").at(0).settings.GetBlurPasses(), 99u);
  ornhost::ImportSetups(dir_ / "target.zel", dir_ / "in.json", true);
  const auto after = ornhost::ReadSetups(dir_ / "target.zel");
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(after[0].settings.GetBlurPasses(), 7u);
  EXPECT_EQ(after[1].settings.GetBlurPasses(), 99u);
}

}  // namespace
