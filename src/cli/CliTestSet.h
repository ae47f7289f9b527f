// A test set opened by a zep-cli sub-command: the model, the report and the loader together.
#pragma once

#include "report/ReportDocument.h"
#include "settings/Settings.h"
#include "testdef/TestLoad.h"

#include <memory>
#include <optional>
#include <string>

namespace zep::cli {

struct CliTestSet {
    TestModel model;
    ReportDocument report;
    TestLoad loader{model, report};

    CliTestSet() = default;
    explicit CliTestSet(LoadOptions options) : loader(model, report, std::move(options)) {}

    // The entry of KEY in the first group that lists it, as a click in the test list selects it;
    // a key listed nowhere is taken as a runnable test of that name.
    TestEntry EntryForKey(const std::string& key) const;
};

// The settings from the file that --settings, else ZEP_SETTINGS, else the default location names;
// defaults where it is missing. A named file that is missing or unreadable is reported on
// standard error and the defaults are used.
Settings ReadCliSettings(const std::optional<std::string>& settingsOption);

// Opens the test set; prints the error and returns nullptr when the file cannot be read.
std::unique_ptr<CliTestSet> OpenTestSetOrReport(const std::string& path, LoadOptions options = {});

} // namespace zep::cli
