// The settings header brings the options records of the report, the loader and the code generator,
// and nothing else of theirs.
#include "settings/Settings.h"

#if __has_include("testdef/TestLoad.h") || __has_include("report/ReportDocument.h") ||                       \
                                                         __has_include("report/RTFGen.h") ||                 \
                                                                       __has_include("codegen/CodeGen.h")
#error "the settings can reach the loader, the report or the code generator"
#endif

namespace zep {
[[maybe_unused]] const Settings layeringSettings{};
} // namespace zep
