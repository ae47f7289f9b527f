// Loading test sets: groups, set variables, the message file, test lists and test selection.
#include "common/StringOp.h"
#include "common/TextFile.h"
#include "testdef/TestLoad.h"

#include <cstdio>
#include <filesystem>

namespace zep {

namespace {

std::string HeadingKey(int counter) {
    char key[16];
    std::snprintf(key, sizeof key, "BASE_%03d", counter % 1000);
    return key;
}

// The body after the first "|", or empty when the line has none.
std::string BodyAfterBar(const std::string& line) {
    const size_t bar = line.find('|');
    return bar == std::string::npos ? std::string() : line.substr(bar + 1);
}

// One ">" line of a test list: its depth gives the level; without a "|" it is a heading.
TestEntry ParseTestEntry(const std::string& line, size_t number, int& headingCounter) {
    size_t depth = 0;
    while (depth < line.size() && line[depth] == '>')
        ++depth;
    const std::string rest = line.substr(depth);
    TestEntry entry;
    entry.Level = static_cast<int>(depth) - 1;
    entry.Line = number;
    const size_t bar = rest.find('|');
    if (bar == std::string::npos) {
        entry.Heading = true;
        entry.Key = HeadingKey(headingCounter++);
        entry.Text = StripText(rest);
    } else {
        entry.Key = StripText(rest.substr(0, bar));
        entry.Text = StripText(rest.substr(bar + 1));
    }
    return entry;
}

} // namespace

std::string TestLoad::TestSetPath() const {
    return JoinPath(model_.TestDirectory, model_.TestSetFileName);
}

bool TestLoad::OpenTestSet(const std::string& path) {
    const std::filesystem::path file(path);
    model_.TestDirectory = file.has_parent_path() ? file.parent_path().string() : std::string(".");
    model_.TestSetFileName = file.filename().string();
    return LoadTestSet();
}

bool TestLoad::LoadTestSet() {
    ClearVariables(SetVariableTable);
    model_.InstrumentsPrepared = false;
    if (model_.TestSetFileName.empty()) return false;
    const auto text = ReadUserText(TestSetPath());
    if (!text) return false;

    model_.Groups.clear();
    model_.GroupTests.clear();
    model_.MessageFilePath.clear();
    // The test list of a group is the run of ">" lines (blank lines between them allowed) right
    // below its group line; any other line ends it. Each group gets its own list, so two groups of
    // one name each keep their tests.
    std::vector<TestEntry>* list = nullptr;
    int headingCounter = 0;
    LineCursor cursor(*text);
    std::string_view raw;
    for (size_t number = 1; cursor.Next(raw); ++number) {
        const std::string line = CleanLine(raw);
        if (StripText(line).empty()) continue;
        if (line[0] == '>') {
            if (list) list->push_back(ParseTestEntry(line, number, headingCounter));
            continue;
        }
        list = nullptr;
        if (StartsWith(line, "//")) continue;
        if (ToUpperAscii(line.substr(0, 8)) == "VARIABLE") {
            AddVariable(BodyAfterBar(line), SetVariableTable);
        } else if (ToUpperAscii(line.substr(0, 7)) == "MSGFILE") {
            model_.MessageFilePath = JoinPath(model_.TestDirectory, StripText(BodyAfterBar(line)));
        } else {
            model_.Groups.push_back(line);
            list = &model_.GroupTests.emplace_back();
            headingCounter = 0;
        }
    }
    return true;
}

std::vector<TestEntry> TestLoad::TestList(std::string_view groupName) const {
    for (size_t i = 0; i < model_.Groups.size(); ++i)
        if (model_.Groups[i] == groupName) return TestListAt(i);
    return {};
}

const std::vector<TestEntry>& TestLoad::TestListAt(size_t groupIndex) const {
    static const std::vector<TestEntry> none;
    return groupIndex < model_.GroupTests.size() ? model_.GroupTests[groupIndex] : none;
}

bool TestLoad::SelectTest(const TestEntry& entry) {
    // Headings are told by their entry, not by the key: a test case may well be named "BASEBAND".
    if (entry.Heading) return false;
    model_.SelectedTestKey = entry.Key;
    model_.SelectedTestText = entry.Text;
    model_.TestCaseFound = false;
    if (entry.Line > 0) origin_ = {TestSetPath(), entry.Line};
    LoadTestCase(entry.Key);
    origin_ = {};
    return model_.TestCaseFound;
}

} // namespace zep
