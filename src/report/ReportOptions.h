// The settings the report reads, as a plain record: the settings record holds one, tests set it.
#pragma once

#include "common/FormatOptions.h"

#include <cstdint>

namespace zep {

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

    bool operator==(const ReportOptions&) const = default;
};

} // namespace zep
