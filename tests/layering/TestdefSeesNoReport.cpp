// The test definitions sit below the report: the loader returns findings, the report writes them.
#include "testdef/TestLoad.h"

#if __has_include("report/ReportDocument.h") || __has_include("settings/Settings.h") ||                      \
                                                              __has_include("instio/Visa.h")
#error "the test definitions can reach a layer above them"
#endif
