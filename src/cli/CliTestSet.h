// A test set opened by a zep-cli sub-command: a session with the settings of the command line.
#pragma once

#include "discovery/DeviceCache.h"
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

// What a session needs to talk to instruments: the VISA implementation (--visa, else ZEP_VISA,
// else the system's library or the built-in one) and the device cache (--registry, else
// ZEP_REGISTRY, else the default), given its defaults as at the program's start. A cache that
// cannot be written is named on standard error; false, with the error printed, when either
// cannot be had.
bool UseInstruments(Session& session, const std::optional<std::string>& visaOption,
                    const std::optional<std::string>& registryOption, std::unique_ptr<DeviceCache>& cache);

// A finding as editors and CI read it: "FILE:LINE: message detail" (no ":LINE" for line 0).
std::string FindingLine(const LoadFinding& finding);

} // namespace zep::cli
