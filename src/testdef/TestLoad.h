// Loading test sets and test cases into the test model.
#pragma once

#include "report/ReportDocument.h"
#include "testdef/ResultKinds.h"
#include "testdef/TestModel.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zep {

// What the loader needs from the settings.
struct LoadOptions {
    std::string DefaultNumberFormat = "#0.000"; // used for command lines without a format field
    bool ClearOnNewCase = true;                  // clear the report when another test is selected
};

// The loader works on one model and writes its "Parser error" entries into one report.
class TestLoad {
public:
    TestLoad(TestModel& model, ReportDocument& report, LoadOptions options = {})
        : model_(model), report_(report), options_(std::move(options)) {}

    // Opens the test-set file at path: its folder becomes the test directory.
    // Returns false (loading nothing) when the file does not exist.
    bool OpenTestSet(const std::string& path);

    // Re-reads the test-set file named by the model: groups, set variables and message file.
    bool LoadTestSet();

    // The test list of one group, read afresh from the test-set file.
    std::vector<TestEntry> TestList(std::string_view groupName) const;

    // Selects a test-list entry as a click on it does; headings (keys starting with "BASE") do nothing.
    // Returns true when a test case was loaded and found.
    bool SelectTest(const TestEntry& entry);

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
    void ParseNeed(const std::vector<std::string_view>& fields);
    void ParseBlock(const std::vector<std::string_view>& fields);
    void ParseCommandLine(std::string_view line, std::string_view blockField,
                          std::vector<std::string_view>& fields, std::string& currentBlock,
                          std::string& previousInstrument);
    std::string TestSetPath() const;
    void RefreshLookupKeys();
    int16_t LookupInstrument(std::string_view name) const;
    int16_t LookupBlock(std::string_view name) const;

    TestModel& model_;
    ReportDocument& report_;
    LoadOptions options_;
    std::vector<std::string> includeChain_; // files being parsed, outermost first
    std::vector<std::string> instrumentKeys_, kindKeys_, blockKeys_;
    bool loading_ = false;     // inside LoadTestCase: old command records are reused, not freed
    size_t commandsUsed_ = 0;  // records of the test case being loaded
};

// Parses a need line's fields (the text after "NEED|" split at "|").
InstrumentNeed ParseNeedFields(const std::vector<std::string>& fields);

// Parses a variable line body (name|text|result kind|format|value).
VariableDef ParseVariableBody(std::string_view body);

} // namespace zep
