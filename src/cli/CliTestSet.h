// A test set opened by a zep-cli sub-command: a session with the settings of the command line.
#pragma once

#include "session/Session.h"
#include "settings/Settings.h"
#include "testdef/LoadFinding.h"

#include <memory>
#include <optional>
#include <string>

namespace zep::cli {

// The settings from the file that --settings, else ZEP_SETTINGS, else the default location names;
// defaults where it is missing. A named file that is missing or unreadable is reported on
// standard error and the defaults are used.
Settings ReadCliSettings(const std::optional<std::string>& settingsOption);

// Opens the test set in a new session over host; prints the error and returns nullptr when the file cannot
// be read.
std::unique_ptr<Session> OpenTestSetOrReport(Host& host, const std::string& path,
                                             Settings settings = Settings{});

// A finding as editors and CI read it: "FILE:LINE: message detail" (no ":LINE" for line 0).
std::string FindingLine(const LoadFinding& finding);

} // namespace zep::cli
