// Loading test-case files: line kinds, defaults, lookups, includes and every parser message.
#include "LoaderFixture.h"

#include <chrono>

#include "common/TextFile.h"

using namespace std::string_literals;

namespace zep {
namespace {

using Strings = std::vector<std::string>;
using TestLoadTest = LoaderFixture;

TEST_F(TestLoadTest, ReadsNeedDefaultsWhenFieldsAreEmpty) {
    LoadCase("NEED|MyPWSMeter+OPT1+OPT2|Sensor\n"
             "NEED|GEN|Gen1||||\n"
             "NEED|GEN|Gen1b||*RST|-\n"
             "NEED|GEN|PWS7\n"
             "NEED|GEN|PWS8||\n"
             "NEED|xpwsx|G9||\n"
             "NEED|GEN|G10|-|MY:RST|MY:CLS|NoOpc\n");
    struct Expected {
        const char *name, *type;
        Strings options;
        const char *errorQuery, *reset, *clear;
    } expected[] = {
        {"Sensor", "MyPWSMeter", {"OPT1", "OPT2"}, "SYST:ERR", "*RST", "*CLS"},
        {"Gen1", "GEN", {}, "SYST:ERR", "SYST:PRES", "*CLS"},
        {"Gen1b", "GEN", {}, "SYST:ERR", "*RST", ""},
        {"PWS7", "GEN", {}, "SYST:ERR", "*RST", "*CLS"},      // reset field missing: the name counts
        {"PWS8", "GEN", {}, "SYST:ERR", "SYST:PRES", "*CLS"}, // reset field empty: only the type counts
        {"G9", "xpwsx", {}, "SYST:ERR", "*RST", "*CLS"},
        {"G10", "GEN", {}, "-", "MY:RST", "MY:CLS"},
    };
    ASSERT_EQ(model.Instruments.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const auto& need = model.Instruments[i];
        const auto& want = expected[i];
        EXPECT_EQ(need.Name, want.name);
        EXPECT_EQ(need.Type, want.type) << want.name;
        EXPECT_EQ(need.Options, want.options) << want.name;
        EXPECT_EQ(need.ErrorQuery, want.errorQuery) << want.name;
        EXPECT_EQ(need.ResetCommand, want.reset) << want.name;
        EXPECT_EQ(need.ClearCommand, want.clear) << want.name;
    }
    EXPECT_TRUE(model.NoOpc);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(TestLoadTest, ReadsBlocksWithCaptionAndParallelMark) {
    LoadCase("BLOCK|A\nBLOCK|B|Run B\nBLOCK|C|Run C|PAR\nBLOCK|D|Run D|par\n");
    ASSERT_EQ(model.Blocks.size(), 4U);
    EXPECT_EQ(model.Blocks[0].Caption, "A");
    EXPECT_EQ(model.Blocks[1].Caption, "Run B");
    EXPECT_FALSE(model.Blocks[1].IsParallel);
    EXPECT_TRUE(model.Blocks[2].IsParallel);
    EXPECT_FALSE(model.Blocks[3].IsParallel); // the mark is case-sensitive
    EXPECT_FALSE(model.NoOpc);
}

TEST_F(TestLoadTest, CommandLineTakesDefaultsAndThePreviousInstrument) {
    loader.SetOptions(LoadOptions{"##0.00"});
    LoadCase("NEED|GEN|Gen1\nBLOCK|Main\n"
             "Main|Gen1|:FREQ 1|  |  |  \n"
             "Main||*OPC?|\n"
             "Main|Gen1|:POW?|Level|IsdBm|0.0|ignored|fields\n");
    ASSERT_EQ(model.Commands.size(), 3U);
    const auto& opc = model.Commands[1];
    EXPECT_EQ(opc.InstrumentIndex, 0);
    EXPECT_EQ(opc.CommandText, "*OPC?");
    EXPECT_EQ(opc.Label, "");
    EXPECT_EQ(opc.Result.Kind, ResultKind::NoResult);
    EXPECT_EQ(opc.Result.Format, "##0.00");
    EXPECT_EQ(model.Commands[0].Result.Format, "##0.00"); // blank fields count as missing
    EXPECT_EQ(model.Commands[2].Result.Format, "0.0");
    EXPECT_EQ(model.Commands[2].Result.Argument, "dBm");
    // Freshly loaded lines carry their initial run state.
    EXPECT_EQ(opc.SentText.View(), std::string(100, ' '));
    EXPECT_EQ(opc.Status, 0);
    EXPECT_FLOAT_EQ(opc.LastTime, -1.0F);
    EXPECT_TRUE(opc.TimeHistory.empty());
    EXPECT_TRUE(model.CommandsPresent);
}

TEST_F(TestLoadTest, BlockSelectorSetsTheCurrentBlock) {
    LoadCase("NEED|GEN|Gen1\nBLOCK|Setup\nBLOCK|Main\n"
             "Main\n"
             "x|Gen1|*RST\n"
             "Setup|Gen1|:A\n" // a named block wins over the current one
             "y|Gen1|:B\n");   // and does not change it
    ASSERT_EQ(model.Commands.size(), 3U);
    EXPECT_EQ(model.Commands[0].BlockIndex, 1);
    EXPECT_EQ(model.Commands[1].BlockIndex, 0);
    EXPECT_EQ(model.Commands[2].BlockIndex, 1);
}

TEST_F(TestLoadTest, WritesEveryParserMessageAndSkipsTheLine) {
    LoadCase("NEED|GEN|Gen1\n"
             "Main|Gen1|*RST\n" // no block defined yet
             "Main\n"           // selector naming a block defined later
             "BLOCK|Main\n"
             "x|Gen1|*RST|lbl\n"  // no current block
             "Main|Ghost|*IDN?\n" // no previous instrument
             "Main|Gen1|ok\n"
             "Main|Ghost|:TAKES GEN1\n"
             "just words\n"
             "MAKRO|NotThere\n");
    EXPECT_EQ(Messages(), (Strings{
                              "Parser error",
                              "  No blocks defined, so block Main will not work...",
                              "Parser error",
                              "  Main is not a valid command line.",
                              "Parser error",
                              "  Unknown Block x in command",
                              "  Gen1|*RST|lbl",
                              "Parser error",
                              "  Unknown Instrument \"Ghost\" in command",
                              "  Ghost|*IDN?",
                              "Parser error",
                              "  just words is not a valid command line.",
                              "Parser error",
                              "  No test definition file found",
                              "  (file \"" + JoinPath(Dir(), "NotThere") + "\" missing)",
                          }));
    ASSERT_EQ(model.Commands.size(), 2U);
    EXPECT_EQ(model.Commands[1].CommandText, ":TAKES GEN1");
    EXPECT_EQ(model.Commands[1].InstrumentIndex, 0);
    // The report entries are red, the heading bold and italic.
    const ReportDocument written = FindingsReport();
    const auto& groups = written.Groups();
    ASSERT_FALSE(groups.empty());
    EXPECT_TRUE(groups[0].bold && groups[0].italic && groups[0].newLine);
    EXPECT_EQ(groups[0].textColour, Colour::Red);
    EXPECT_FALSE(groups[1].bold);
}

TEST_F(TestLoadTest, MissingTestCaseIsReportedWithTheNameWithoutExtension) {
    loader.LoadTestCase("Absent");
    EXPECT_FALSE(model.TestCaseFound);
    EXPECT_EQ(Messages(), (Strings{"Parser error", "  No test definition file found",
                                   "  (file \"" + JoinPath(Dir(), "Absent") + "\" missing)"}));
}

TEST_F(TestLoadTest, LooksForTheExtensionFirstThenTheNameAsGiven) {
    Write("Plain", "BLOCK|FromPlain\n");
    Write("Both", "BLOCK|FromBothPlain\n");
    Write("Both.ZEP_CASE", "BLOCK|FromBothExtension\n");
    loader.LoadTestCase("Plain");
    ASSERT_EQ(model.Blocks.size(), 1U);
    EXPECT_EQ(model.Blocks[0].Name, "FromPlain");
    loader.LoadTestCase("Both");
    EXPECT_EQ(model.Blocks[0].Name, "FromBothExtension");
    std::string path;
    EXPECT_FALSE(loader.FindTestCaseFile("", path));
}

TEST_F(TestLoadTest, FindsTestCasesWhateverTheLetterCase) {
    Write("MyTest.ZEP_CASE", "BLOCK|Main\nMAKRO|common\\SETUP\n");
    Write("Common/Setup.ZEP_CASE", "Main|Comment|included\n");
    loader.LoadTestCase("mytest");
    EXPECT_TRUE(model.TestCaseFound);
    ASSERT_EQ(model.Commands.size(), 1U);
    EXPECT_EQ(model.Commands[0].CommandText, "included");
    EXPECT_TRUE(Messages().empty());
}

TEST_F(TestLoadTest, IncludesAddLinesInPlaceWithTheirOwnBlockAndInstrumentScope) {
    Write("Inner.ZEP_CASE", "q|Ana|:NO BLOCK\n"
                            "Other|Nobody|:NO INSTRUMENT\n"
                            "Other|Ana|:INNER\n"
                            "Main\n"
                            "w|Nobody|:INNER 2\n");
    LoadCase("NEED|GEN|Gen1\nNEED|FSA|Ana\nBLOCK|Main\nBLOCK|Other\n"
             "Other\n"
             "x|Gen1|:BEFORE\n"
             "MAKRO|Inner\n"
             "y|Nobody|:AFTER\n"); // still block Other and instrument Gen1 of this file
    struct Line {
        int block, instrument;
        const char* text;
    } expected[] = {{1, 0, ":BEFORE"}, {1, 1, ":INNER"}, {0, 1, ":INNER 2"}, {1, 0, ":AFTER"}};
    ASSERT_EQ(model.Commands.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(model.Commands[i].BlockIndex, expected[i].block) << i;
        EXPECT_EQ(model.Commands[i].InstrumentIndex, expected[i].instrument) << i;
        EXPECT_EQ(model.Commands[i].CommandText, expected[i].text) << i;
    }
    EXPECT_EQ(Messages().size(), 6U); // the two lines of the included file without scope
    // The path is the test case's own, not that of its last include.
    EXPECT_EQ(std::filesystem::path(model.TestCasePath).filename(), "Case.ZEP_CASE");
}

TEST_F(TestLoadTest, IncludeCycleIsReportedWithItsChainAndLoadingGoesOn) {
    Write("A.ZEP_CASE", "Main|Gen1|:IN A\nMAKRO|B\nMain|Gen1|:A AFTER\n");
    Write("B.ZEP_CASE", "Main|Gen1|:IN B\nMAKRO|a\n");
    LoadCase("NEED|GEN|Gen1\nBLOCK|Main\nMAKRO|A\nMain|Gen1|:END\nMAKRO|Case\n");
    Strings texts;
    for (const auto& line : model.Commands)
        texts.push_back(line.CommandText);
    EXPECT_EQ(texts, (Strings{":IN A", ":IN B", ":A AFTER", ":END"}));
    EXPECT_EQ(Messages(), (Strings{
                              "Parser error",
                              "  MAKRO include of \"A.ZEP_CASE\" skipped: the file includes itself",
                              "  (include chain Case.ZEP_CASE -> A.ZEP_CASE -> B.ZEP_CASE -> A.ZEP_CASE)",
                              "Parser error",
                              "  MAKRO include of \"Case.ZEP_CASE\" skipped: the file includes itself",
                              "  (include chain Case.ZEP_CASE -> Case.ZEP_CASE)",
                          }));
}

TEST_F(TestLoadTest, SameFileIncludedTwiceInSequenceIsNoCycle) {
    Write("Step.ZEP_CASE", "Main|Comment|step\n");
    LoadCase("BLOCK|Main\nMAKRO|Step\nMAKRO|Step\n");
    EXPECT_EQ(model.Commands.size(), 2U);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(TestLoadTest, LookupsFollowTheirMatchingRules) {
    LoadCase("NEED|GEN|Dup\nNEED|GEN|dup\nNEED|GEN|Wait\nNEED|GEN| Spaced \n"
             "BLOCK|Main\nBLOCK|main\nBLOCK|Main\n");
    EXPECT_EQ(loader.FindInstrument("DUP"), 1);                          // case-insensitive, last match wins
    EXPECT_EQ(loader.FindInstrument("  wait "), -CommandKindCode::Wait); // a command kind wins
    EXPECT_EQ(loader.FindInstrument("spaced"), 3);
    EXPECT_EQ(loader.FindInstrument("nobody"), UnknownIndex);
    EXPECT_EQ(loader.FindBlock("Main"), 2);
    EXPECT_EQ(loader.FindBlock(" main "), 1);
    EXPECT_EQ(loader.FindBlock("MAIN"), -1);
    EXPECT_EQ(loader.InstrumentName(1), "dup");
    EXPECT_EQ(loader.InstrumentName(-9), "Store");
    EXPECT_EQ(loader.InstrumentName(-1), "Comment");
    EXPECT_EQ(loader.InstrumentName(4), "");
    EXPECT_EQ(loader.InstrumentName(-10), "");
}

TEST_F(TestLoadTest, CaseVariablesTakeTheirDefaults) {
    LoadCase("VARIABLE|Tol|tolerance|IsdB|0.00|0.5\nVARIABLE|Bare\nVARIABLE|L||IsListModes||A,B\n");
    ASSERT_EQ(model.CaseVariables.size(), 3U);
    const auto& bare = model.CaseVariables[1].Result;
    EXPECT_EQ(bare.Kind, ResultKind::Number);
    EXPECT_EQ(bare.Argument, "");
    EXPECT_EQ(bare.Format, "0.000");
    EXPECT_EQ(bare.Value, "0");
    EXPECT_EQ(model.CaseVariables[0].Result.Text, "tolerance");
    EXPECT_EQ(model.CaseVariables[0].Result.Argument, "dB");
    EXPECT_EQ(model.CaseVariables[2].Result.ListName, "Modes");
    EXPECT_EQ(model.CaseVariables[2].Result.Value, "A,B");
}

TEST_F(TestLoadTest, ReloadRebuildsTheCaseModelFromDisk) {
    LoadCase("NEED|GEN|Gen1\nBLOCK|Main\nMain|Gen1|*RST\nVARIABLE|V\n");
    model.Commands[0].Status = 2;
    model.Commands[0].LastTime = 5.0F;
    model.Commands[0].TimeHistory.push_back(5.0);
    model.Commands[0].SentText.Assign("*RST");
    model.RunVariables.push_back(VariableDef{"Run", {}});
    loader.LoadTestCase("Case");
    ASSERT_EQ(model.Commands.size(), 1U);
    EXPECT_EQ(model.Commands[0].Status, 0);
    EXPECT_FLOAT_EQ(model.Commands[0].LastTime, -1.0F);
    EXPECT_TRUE(model.Commands[0].TimeHistory.empty());
    EXPECT_EQ(model.Commands[0].SentText.View(), std::string(100, ' '));
    EXPECT_TRUE(model.RunVariables.empty());
    EXPECT_EQ(model.CaseVariables.size(), 1U);
    EXPECT_EQ(model.Instruments.size(), 1U);
}

TEST_F(TestLoadTest, ReloadOfAShorterFileKeepsNothingOfTheLongerOne) {
    LoadCase("NEED|GEN|Gen1\nBLOCK|Main\nMain|Gen1|:A|a|IsV\nMain|Gen1|:B|b|IsString\nMain|Gen1|:C\n");
    for (auto& line : model.Commands) {
        line.Result.Value = line.Result.RawValue = line.Result.ValueText = "42";
        line.ErrorText = "SCPI ERROR";
        line.ErrorDetail = "-113";
        line.SendFlag = true;
    }
    LoadCase("BLOCK|Other\nOther|Comment|only line\n");
    ASSERT_EQ(model.Commands.size(), 1U);
    const auto& line = model.Commands[0];
    EXPECT_EQ(line.CommandText, "only line");
    EXPECT_EQ(line.Label, "");
    EXPECT_EQ(line.InstrumentIndex, -CommandKindCode::Comment);
    EXPECT_EQ(line.Result.Kind, ResultKind::NoResult);
    EXPECT_EQ(line.Result.Argument, "");
    EXPECT_TRUE(line.Result.Value.empty() && line.Result.RawValue.empty() && line.Result.ValueText.empty());
    EXPECT_TRUE(line.ErrorText.empty() && line.ErrorDetail.empty());
    EXPECT_FALSE(line.SendFlag);
    LoadCase("BLOCK|Other\n");
    EXPECT_TRUE(model.Commands.empty());
    EXPECT_FALSE(model.CommandsPresent);
}

TEST(CommandLineRecord, AReusedRecordEqualsAFreshOne) {
    CommandLine used(3, 2, ":OLD", "old");
    used.SentText.Assign(":OLD sent");
    used.SendFlag = true;
    used.Status = 7;
    used.Result = ResultSpec{"t", ResultKind::String, "list", "raw", "v", "0.0", "arg", true, true, "vt"};
    used.LastTime = 1.5F;
    used.TimeHistory = {1.0, 2.0};
    used.ErrorText = "SCPI ERROR";
    used.ErrorDetail = "-113";
    used.Reuse(1, -2, ":NEW", "new");
    EXPECT_EQ(used, CommandLine(1, -2, ":NEW", "new"));
}

TEST_F(TestLoadTest, AnIncludeBombEndsInOneFindingAndEachFileIsReadOnce) {
    // Twenty files, each including the next one twice: a million includes if nothing stopped them.
    constexpr int levels = 20;
    for (int i = 0; i < levels; ++i)
        Write("L" + std::to_string(i) + ".ZEP_CASE",
              i + 1 < levels ? "MAKRO|L" + std::to_string(i + 1) + "\nMAKRO|l" + std::to_string(i + 1) + "\n"
                             : std::string("Main|Comment|leaf\n"));
    LoadCase("BLOCK|Main\nMAKRO|L0\nMain|Comment|after the bomb\n");
    ASSERT_EQ(loader.Findings().size(), 1U);
    const LoadFinding& finding = loader.Findings()[0];
    EXPECT_EQ(finding.Message, "MAKRO include of \"l" + std::to_string(levels - 1) +
                                   "\" skipped: more than 10000 includes in one test case");
    EXPECT_EQ(std::filesystem::path(finding.File).filename(), "L" + std::to_string(levels - 2) + ".ZEP_CASE");
    EXPECT_EQ(model.IncludedFiles.size(), static_cast<size_t>(levels));
    EXPECT_LE(model.Commands.size(), MaxIncludesPerLoad);
    EXPECT_EQ(model.Commands.back().CommandText, "after the bomb"); // the main file goes on
}

TEST_F(TestLoadTest, TooManyLinesEndTheLoadWithOneFinding) {
    std::string block;
    for (int i = 0; i < 1000; ++i)
        block += "// line\n";
    Write("Lines.ZEP_CASE", block);
    std::string main = "BLOCK|Main\nMain|Comment|first\n";
    for (size_t i = 0; i <= MaxLinesPerLoad / 1000; ++i)
        main += "MAKRO|Lines\n";
    main += "Main|Comment|never read\n";
    LoadCase(main);
    ASSERT_EQ(loader.Findings().size(), 1U);
    EXPECT_EQ(loader.Findings()[0].Message,
              "Test case stopped: more than 1000000 lines read in one test case");
    ASSERT_EQ(model.Commands.size(), 1U);
}

TEST_F(TestLoadTest, TheMainFileKeepsItsPathAndAChangedIncludeIsNoticed) {
    Write("Inner.ZEP_CASE", "Main|Comment|inner\n");
    LoadCase("BLOCK|Main\nMAKRO|Inner\nMAKRO|INNER\n");
    EXPECT_EQ(std::filesystem::path(model.TestCasePath).filename(), "Case.ZEP_CASE");
    ASSERT_EQ(model.IncludedFiles.size(), 1U);
    EXPECT_EQ(std::filesystem::path(model.IncludedFiles[0].Path).filename(), "Inner.ZEP_CASE");
    EXPECT_FALSE(TestCaseFilesChanged(model));

    const auto touch = [](const std::string& path) {
        std::filesystem::last_write_time(path,
                                         std::filesystem::last_write_time(path) + std::chrono::hours(1));
    };
    touch(model.IncludedFiles[0].Path);
    EXPECT_TRUE(TestCaseFilesChanged(model));
    loader.LoadTestCase("Case");
    EXPECT_FALSE(TestCaseFilesChanged(model));
    touch(model.TestCasePath);
    EXPECT_TRUE(TestCaseFilesChanged(model));
    std::filesystem::remove(model.TestCasePath);
    EXPECT_TRUE(TestCaseFilesChanged(model));
}

TEST_F(TestLoadTest, NamesMatchFilesWhateverTheLetterCaseBeyondAscii) {
    struct {
        const char* onDisk;
        const char* named;
    } cases[] = {
        {"\xC3\xBC"
         "bertragung.ZEP_CASE",
         "\xC3\x9C"
         "bertragung"}, // UTF-8 on disk, capital in the set
        {"\xFC"
         "bertragung2.ZEP_CASE",
         "\xC3\x9C"
         "BERTRAGUNG2"}, // a Latin-1 name on disk
        {"\xC5\x93"
         "uvre.ZEP_CASE",
         "\xC5\x92"
         "UVRE"}, // Windows-1252 extras: oe ligature
        {"\xC5\xBE"
         "ivot.ZEP_CASE",
         "\xC5\xBD"
         "IVOT"}, // z with caron
        {"\xD0\xB8"
         "\xD0\xBC"
         "\xD1\x8F.ZEP_CASE",
         "\xD0\x98"
         "\xD0\x9C"
         "\xD0\xAF"}, // Cyrillic
    };
    for (const auto& c : cases) {
        Write(c.onDisk, "BLOCK|Main\nMain|Comment|found\n");
        loader.LoadTestCase(c.named);
        EXPECT_TRUE(model.TestCaseFound) << c.named;
        EXPECT_TRUE(loader.Findings().empty()) << c.named;
    }
    // Letters that only look alike stay apart.
    loader.LoadTestCase("ubertragung");
    EXPECT_FALSE(model.TestCaseFound);
}

TEST_F(TestLoadTest, SurvivesHostileBytes) {
    const std::string longLine = "Main|Comment|" + std::string(200000, 'x');
    LoadCase("BLOCK|Main\r\n\0\r\n"s + longLine +
             "\r\n|||\r\n\t|\t\r\nNEED\r\nNEED|\r\nMAKRO|\r\nBLOCK|\r\n");
    EXPECT_EQ(model.Commands.size(), 1U);
    EXPECT_EQ(model.Commands[0].CommandText.size(), 200000U);
}

} // namespace
} // namespace zep
