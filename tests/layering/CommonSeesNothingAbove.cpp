// The common layer uses nothing.
#include "common/StringOp.h"

#if __has_include("testdef/TestModel.h") || __has_include("host/Host.h") ||                                  \
                                                          __has_include("report/ReportDocument.h")
#error "common can reach another layer"
#endif
