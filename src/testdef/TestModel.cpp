// The test model tables.
#include "testdef/TestModel.h"

namespace zep {

std::vector<VariableDef>& TestModel::VariableTableOf(int table) {
    switch (table) {
    case SetVariableTable:
        return SetVariables;
    case CaseVariableTable:
        return CaseVariables;
    default:
        return RunVariables;
    }
}

} // namespace zep
