// The settings the report reads, as a plain record: the settings file fills it, tests set it.
#pragma once

#include <cstdint>
#include <string>

namespace zep {

// How measured values become text.
struct FormatOptions {
    bool NumFormatUseDefault = true;
    std::string NumFormatDefault = "#0.000";
    std::string DecimalSymbol = "."; // the locale's decimal symbol
};

struct ReportOptions {
    // Report items.
    bool TestName = true;
    bool BlockState = true;
    bool Time = true;
    bool TimeDetailed = false;
    bool Results = true;
    bool Errors = false; // kept and offered; no report line depends on it
    bool LimitResult = true;
    bool OutputForLoop = false;

    bool ClearOnFirstCase = true;
    bool ClearOnNewCase = true;
    bool StopOnBlockError = false;
    bool RTFScaling = false;
    int16_t RTFScalingFactor = 400;

    // Statistics columns.
    bool ShowMax = true;
    bool ShowMin = true;
    bool ShowMean = true;
    bool ShowMedian = false;
    bool ShowStdDev = true;

    FormatOptions Format;
};

} // namespace zep
