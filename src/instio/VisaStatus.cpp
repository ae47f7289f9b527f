// Names of the VISA statuses the program knows, for messages.
#include "instio/Visa.h"

#include <cstdio>
#include <utility>

namespace zep {

std::string VisaStatusText(ViStatus status) {
    static constexpr std::pair<ViStatus, const char*> Names[] = {
        {VI_SUCCESS, "VI_SUCCESS"},
        {VI_SUCCESS_TERM_CHAR, "VI_SUCCESS_TERM_CHAR"},
        {VI_SUCCESS_MAX_CNT, "VI_SUCCESS_MAX_CNT"},
        {VI_SUCCESS_DEV_NPRESENT, "VI_SUCCESS_DEV_NPRESENT"},
        {VI_WARN_NULL_OBJECT, "VI_WARN_NULL_OBJECT"},
        {VI_WARN_NSUP_ATTR_STATE, "VI_WARN_NSUP_ATTR_STATE"},
        {VI_ERROR_SYSTEM_ERROR, "VI_ERROR_SYSTEM_ERROR"},
        {VI_ERROR_INV_OBJECT, "VI_ERROR_INV_OBJECT"},
        {VI_ERROR_RSRC_LOCKED, "VI_ERROR_RSRC_LOCKED"},
        {VI_ERROR_INV_EXPR, "VI_ERROR_INV_EXPR"},
        {VI_ERROR_RSRC_NFOUND, "VI_ERROR_RSRC_NFOUND"},
        {VI_ERROR_INV_RSRC_NAME, "VI_ERROR_INV_RSRC_NAME"},
        {VI_ERROR_INV_ACC_MODE, "VI_ERROR_INV_ACC_MODE"},
        {VI_ERROR_TMO, "VI_ERROR_TMO"},
        {VI_ERROR_CLOSING_FAILED, "VI_ERROR_CLOSING_FAILED"},
        {VI_ERROR_NSUP_ATTR, "VI_ERROR_NSUP_ATTR"},
        {VI_ERROR_NSUP_ATTR_STATE, "VI_ERROR_NSUP_ATTR_STATE"},
        {VI_ERROR_ATTR_READONLY, "VI_ERROR_ATTR_READONLY"},
        {VI_ERROR_ABORT, "VI_ERROR_ABORT"},
        {VI_ERROR_RAW_WR_PROT_VIOL, "VI_ERROR_RAW_WR_PROT_VIOL"},
        {VI_ERROR_RAW_RD_PROT_VIOL, "VI_ERROR_RAW_RD_PROT_VIOL"},
        {VI_ERROR_OUTP_PROT_VIOL, "VI_ERROR_OUTP_PROT_VIOL"},
        {VI_ERROR_INP_PROT_VIOL, "VI_ERROR_INP_PROT_VIOL"},
        {VI_ERROR_ALLOC, "VI_ERROR_ALLOC"},
        {VI_ERROR_IO, "VI_ERROR_IO"},
        {VI_ERROR_NLISTENERS, "VI_ERROR_NLISTENERS"},
        {VI_ERROR_NSUP_OPER, "VI_ERROR_NSUP_OPER"},
        {VI_ERROR_INV_PARAMETER, "VI_ERROR_INV_PARAMETER"},
        {VI_ERROR_INV_MODE, "VI_ERROR_INV_MODE"},
        {VI_ERROR_LIBRARY_NFOUND, "VI_ERROR_LIBRARY_NFOUND"},
        {VI_ERROR_FILE_ACCESS, "VI_ERROR_FILE_ACCESS"},
        {VI_ERROR_FILE_IO, "VI_ERROR_FILE_IO"},
        {VI_ERROR_CONN_LOST, "VI_ERROR_CONN_LOST"},
    };
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(status));
    for (const auto& [value, name] : Names)
        if (value == status) return std::string(name) + " (" + code + ")";
    return std::string("status ") + code;
}

} // namespace zep
