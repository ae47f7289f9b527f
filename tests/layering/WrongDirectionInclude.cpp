// Built only by the layering test: the test definitions must not compile against the report.
#include "report/ReportDocument.h"
