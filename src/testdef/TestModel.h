// The in-memory test model: instrument needs, blocks, command lines and variables of the loaded
// test set and test case.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zep {

// Result kinds of an instrument answer (the result-kind field of a command or variable line).
namespace ResultKind {
constexpr int32_t NoResult = 0;
constexpr int32_t Number = 1; // "Is" followed by the unit
constexpr int32_t String = 2;
constexpr int32_t ValueTable = 3;
constexpr int32_t ACPTab = 4;
constexpr int32_t Boolean0_OK = 5;
constexpr int32_t List = 6;
constexpr int32_t BinFile = 7;
constexpr int32_t MSUM = 8;
constexpr int32_t RawFile = 9;
} // namespace ResultKind

// Command kinds carried out by the sequencer itself; a command line stores the negated code.
namespace CommandKindCode {
constexpr int16_t Comment = 1;
constexpr int16_t Message = 2;
constexpr int16_t Calculator = 3;
constexpr int16_t Limit = 4;
constexpr int16_t Wait = 5;
constexpr int16_t ProcessCall = 6;
constexpr int16_t DOSCommand = 7;
constexpr int16_t Shell = 8;
constexpr int16_t Store = 9;
} // namespace CommandKindCode

constexpr int16_t UnknownIndex = -10;
constexpr int CommandKindCount = 9;
constexpr size_t SentTextWidth = 100;

// A text of exactly N characters: assigned texts are cut or padded with blanks. Kept inside the
// record so that loading many lines makes no extra allocation.
template <size_t N> class FixedText {
  public:
    FixedText() { chars_.fill(' '); }
    void Assign(std::string_view text) {
        chars_.fill(' ');
        text.copy(chars_.data(), std::min(text.size(), N));
    }
    std::string_view View() const { return {chars_.data(), N}; }
    bool operator==(const FixedText&) const = default;

  private:
    std::array<char, N> chars_;
};

struct ResultSpec {
    std::string Text;
    int32_t Kind = ResultKind::NoResult;
    std::string ListName;
    std::string RawValue;
    std::string Value;
    std::string Format;
    std::string Argument;
    bool NoScaling = false;
    bool NoStatistics = false;
    std::string ValueText;

    bool operator==(const ResultSpec&) const = default;
};

struct InstrumentNeed {
    std::string Name;
    std::string Type;
    std::vector<std::string> Options;
    bool Used = false;
    int32_t CheckState = 0;
    int16_t DeviceIndex = -1;
    bool ResetAtStart = false;
    std::string ErrorQuery;
    std::string ResetCommand;
    std::string ClearCommand;
    int32_t CurrentLine = -1;
    // Filled by the pre-run check and the instruments panel, left empty by the loader.
    int16_t AvailableIndex = -1;
    bool ResetMarked = false;
};

struct CommandKind {
    std::string Keyword;
    std::string DisplayName;
};

struct BlockDef {
    std::string Name;
    std::string Caption;
    bool IsParallel = false;
    int32_t RunState = 0;
    bool ErrorFlag = false;
    int16_t LoopCount = 1;
};

struct CommandLine {
    CommandLine() = default;
    CommandLine(int16_t blockIndex, int16_t instrumentIndex, std::string_view command, std::string_view label)
        : BlockIndex(blockIndex), InstrumentIndex(instrumentIndex), CommandText(command), Label(label) {}

    int16_t BlockIndex = 0;
    int16_t InstrumentIndex = 0;
    std::string CommandText;
    FixedText<SentTextWidth> SentText; // blank after loading
    bool SendFlag = false;
    int32_t Status = 0;
    std::string Label;
    ResultSpec Result;
    float LastTime = -1.0F;
    std::vector<double> TimeHistory; // empty after loading: no execution recorded yet
    std::string ErrorText;
    std::string ErrorDetail;

    // Makes this record what the constructor above makes, keeping the strings' storage: a reload
    // of a large test case then allocates almost nothing. Mirror every field's initial value here.
    void Reuse(int16_t blockIndex, int16_t instrumentIndex, std::string_view command,
               std::string_view label) {
        BlockIndex = blockIndex;
        InstrumentIndex = instrumentIndex;
        CommandText.assign(command);
        SentText = FixedText<SentTextWidth>();
        SendFlag = false;
        Status = 0;
        Label.assign(label);
        Result.Text.clear();
        Result.Kind = ResultKind::NoResult;
        Result.ListName.clear();
        Result.RawValue.clear();
        Result.Value.clear();
        Result.Format.clear();
        Result.Argument.clear();
        Result.NoScaling = false;
        Result.NoStatistics = false;
        Result.ValueText.clear();
        LastTime = -1.0F;
        TimeHistory.clear();
        ErrorText.clear();
        ErrorDetail.clear();
    }

    bool operator==(const CommandLine&) const = default;
};

struct VariableDef {
    std::string Name;
    ResultSpec Result;
};

enum VariableTable : int { SetVariableTable = 0, CaseVariableTable = 1, RunVariableTable = 2 };

// One entry of a group's test list: a runnable test (key = case name) or a heading (BASE_nnn).
struct TestEntry {
    std::string Key;
    std::string Text;
    int Level = 0;
    bool Heading = false;
    size_t Line = 0; // 1-based line in the test-set file; 0 for an entry made up from a key alone
};

// A file a test case was read from, with its time stamp when it was read.
struct SourceFile {
    std::string Path;
    std::filesystem::file_time_type Stamp{};
};

// The program-wide model. Tables start empty; the first real element has index 0.
struct TestModel {
    // Set model, from one test-set load to the next.
    std::string TestDirectory;
    std::string TestSetFileName;
    std::string MessageFilePath;
    std::vector<std::string> Groups;
    std::vector<std::vector<TestEntry>> GroupTests; // the test list of each group, read with the set
    std::vector<VariableDef> SetVariables;
    bool InstrumentsPrepared = false;

    // Selection.
    std::string SelectedTestKey;
    std::string SelectedTestText;

    // Case model, rebuilt by every test-case load.
    std::vector<InstrumentNeed> Instruments;
    std::vector<BlockDef> Blocks;
    std::vector<CommandLine> Commands;
    std::vector<CommandKind> CommandKinds;
    std::vector<VariableDef> CaseVariables;
    std::vector<VariableDef> RunVariables;
    std::string TestCasePath; // the test case's own file, not one of its includes
    std::filesystem::file_time_type TestCaseStamp{};
    std::vector<SourceFile> IncludedFiles; // every MAKRO include read, each once
    bool TestCaseFound = false;
    bool CommandsPresent = false;
    bool NoOpc = false;

    std::vector<VariableDef>& VariableTableOf(int table);
};

} // namespace zep
