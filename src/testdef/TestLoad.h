// Loading test sets and test cases into the test model.
#pragma once

#include "testdef/LoadFinding.h"
#include "testdef/LoadOptions.h"
#include "testdef/ResultKinds.h"
#include "testdef/TestModel.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zep {

// Caps on the work of one test-case load, so that includes that multiply (each file including the
// next one twice) end in a finding instead of exhausting time and memory.
constexpr size_t MaxIncludesPerLoad = 10000;
constexpr size_t MaxLinesPerLoad = 1000000;

// The loader works on one model and collects what it finds wrong as findings; it writes no report.
class TestLoad {
  public:
    explicit TestLoad(TestModel& model, LoadOptions options = {})
        : model_(model), options_(std::move(options)) {}

    // Opens the test-set file at path: its folder becomes the test directory.
    // Returns false (loading nothing) when the file does not exist.
    bool OpenTestSet(const std::string& path);

    // Re-reads the test-set file named by the model: groups, set variables and message file.
    bool LoadTestSet();

    // The test list of the first group of that name, as read with the test set. With several groups
    // of one name, TestListAt tells them apart.
    std::vector<TestEntry> TestList(std::string_view groupName) const;
    const std::vector<TestEntry>& TestListAt(size_t groupIndex) const;

    // Loads the test case of a test-list entry as a click on it does; headings do nothing. Returns
    // true when a test case was loaded and found. (Clearing the report is the session's part.)
    bool SelectTest(const TestEntry& entry);

    // What the last test-case load found, in the order found.
    const std::vector<LoadFinding>& Findings() const { return findings_; }

    void ResetTestModel();
    void LoadTestCase(std::string_view name);
    void ParseTestCaseFile(std::string_view name);

    bool FindTestCaseFile(std::string_view name, std::string& path) const;
    int16_t FindInstrument(std::string_view name) const;
    int16_t FindBlock(std::string_view name) const;
    std::string InstrumentName(int index) const;

    void AddVariable(std::string_view body, int table);
    void ClearVariables(int table);
    void AddCommandLine(int16_t blockIndex, int16_t instrumentIndex, std::string_view command,
                        std::string_view label, std::string_view resultText, std::string_view format);

    const LoadOptions& Options() const { return options_; }
    void SetOptions(LoadOptions options) { options_ = std::move(options); }

  private:
    struct CaseFile {
        std::string Path;      // as found, for the findings
        std::string Canonical; // tells files apart in the include chain; empty when unreadable
        std::string Text;
    };
    // Where the line being parsed is, for the findings.
    struct Position {
        std::string File;
        size_t Line = 0;
    };

    void AddFinding(std::string message, std::string_view detail = {});
    const CaseFile* OpenCaseFile(std::string_view name);
    void ParseNeed(const std::vector<std::string_view>& fields);
    void ParseBlock(const std::vector<std::string_view>& fields);
    void ParseCommandLine(std::string_view line, std::string_view blockField,
                          std::vector<std::string_view>& fields, std::string& currentBlock,
                          std::string& previousInstrument);
    std::string TestSetPath() const;

    TestModel& model_;
    LoadOptions options_;
    std::vector<LoadFinding> findings_;
    std::vector<std::string> includeChain_; // files being parsed, outermost first
    Position position_;
    Position origin_; // the test-set line that named the test case being selected
    // Every file read during one load, by the name it was asked for and by its canonical path:
    // an include named a thousand times is looked up and read once.
    std::map<std::string, std::string, std::less<>> pathOfName_;
    std::map<std::string, std::unique_ptr<CaseFile>, std::less<>> files_;
    size_t includes_ = 0;
    size_t linesRead_ = 0;
    bool includeCapReported_ = false;
    bool lineCapReported_ = false;
    bool loading_ = false;    // inside LoadTestCase: old command records are reused, not freed
    size_t commandsUsed_ = 0; // records of the test case being loaded
};

// True when the loaded test case's own file or any file it included has changed on disk (another
// time stamp, or gone) since it was read; false when no test case is loaded.
bool TestCaseFilesChanged(const TestModel& model);

// Parses a need line's fields (the text after "NEED|" split at "|").
InstrumentNeed ParseNeedFields(const std::vector<std::string>& fields);

// Parses a variable line body (name|text|result kind|format|value).
VariableDef ParseVariableBody(std::string_view body);

} // namespace zep
