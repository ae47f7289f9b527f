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

} // namespace

std::string TestLoad::TestSetPath() const { return JoinPath(model_.TestDirectory, model_.TestSetFileName); }

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
    const auto lines = ReadUserTextLines(TestSetPath());
    if (!lines) return false;

    model_.Groups.clear();
    model_.MessageFilePath.clear();
    for (const std::string& raw : *lines) {
        const std::string line = CleanLine(raw);
        if (StripText(line).empty() || StartsWith(line, "//")) continue;
        if (ToUpperAscii(line.substr(0, 8)) == "VARIABLE") {
            AddVariable(BodyAfterBar(line), SetVariableTable);
        } else if (ToUpperAscii(line.substr(0, 7)) == "MSGFILE") {
            model_.MessageFilePath = JoinPath(model_.TestDirectory, StripText(BodyAfterBar(line)));
        } else if (line[0] != '>') {
            model_.Groups.push_back(line);
        }
    }
    return true;
}

std::vector<TestEntry> TestLoad::TestList(std::string_view groupName) const {
    std::vector<TestEntry> entries;
    const auto lines = ReadUserTextLines(TestSetPath());
    if (!lines) return entries;

    // The group line must equal the name: a group "Power" must not pick up "Power Sweep" listed above it.
    size_t i = 0;
    for (; i < lines->size(); ++i) {
        const std::string line = CleanLine((*lines)[i]);
        if (line == groupName && !StartsWith(line, "//") && line[0] != '>') break;
    }
    int headingCounter = 0;
    for (++i; i < lines->size(); ++i) {
        const std::string line = CleanLine((*lines)[i]);
        if (StripText(line).empty()) continue;
        if (line[0] != '>') break;
        size_t depth = 0;
        while (depth < line.size() && line[depth] == '>') ++depth;
        const std::string rest = line.substr(depth);
        TestEntry entry;
        entry.Level = static_cast<int>(depth) - 1;
        const size_t bar = rest.find('|');
        if (bar == std::string::npos) {
            entry.Heading = true;
            entry.Key = HeadingKey(headingCounter++);
            entry.Text = StripText(rest);
        } else {
            entry.Key = StripText(rest.substr(0, bar));
            entry.Text = StripText(rest.substr(bar + 1));
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

bool TestLoad::SelectTest(const TestEntry& entry) {
    // Headings are told by their entry, not by the key: a test case may well be named "BASEBAND".
    if (entry.Heading) return false;
    if (options_.ClearOnNewCase) report_.Clear();
    model_.SelectedTestKey = entry.Key;
    model_.SelectedTestText = entry.Text;
    model_.TestCaseFound = false;
    LoadTestCase(entry.Key);
    return model_.TestCaseFound;
}

} // namespace zep
