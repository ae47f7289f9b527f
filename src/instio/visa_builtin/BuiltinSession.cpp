// The attributes every built-in session answers alike.
#include "instio/visa_builtin/BuiltinSession.h"

namespace zep {

ViStatus BuiltinSession::SetAttribute(ViAttr attribute, ViAttrState value) {
    switch (attribute) {
    case VI_ATTR_TMO_VALUE:
        if (value > 0xFFFFFFFFu) {
            return VI_ERROR_NSUP_ATTR_STATE;
        }
        timeoutMs_ = static_cast<ViUInt32>(value);
        return VI_SUCCESS;
    case VI_ATTR_TERMCHAR:
        if (value > 0xFF) {
            return VI_ERROR_NSUP_ATTR_STATE;
        }
        termChar_ = static_cast<char>(value);
        return VI_SUCCESS;
    case VI_ATTR_TERMCHAR_EN:
    case VI_ATTR_SEND_END_EN:
    case VI_ATTR_SUPPRESS_END_EN:
        if (value > 1) {
            return VI_ERROR_NSUP_ATTR_STATE;
        }
        (attribute == VI_ATTR_TERMCHAR_EN   ? termCharEnabled_
         : attribute == VI_ATTR_SEND_END_EN ? sendEnd_
                                            : suppressEnd_) = value == 1;
        return VI_SUCCESS;
    case VI_ATTR_TCPIP_NODELAY:
        // Nagle's algorithm stays off: it costs tens of milliseconds per command and query.
        return value == 1 ? VI_SUCCESS : VI_WARN_NSUP_ATTR_STATE;
    case VI_ATTR_INTF_TYPE:
    case VI_ATTR_INTF_NUM:
    case VI_ATTR_TCPIP_PORT:
        return VI_ERROR_ATTR_READONLY;
    default:
        return VI_ERROR_NSUP_ATTR;
    }
}

ViStatus BuiltinSession::GetAttribute(ViAttr attribute, ViAttrState& value) const {
    switch (attribute) {
    case VI_ATTR_TMO_VALUE:
        value = timeoutMs_;
        return VI_SUCCESS;
    case VI_ATTR_TERMCHAR:
        value = static_cast<unsigned char>(termChar_);
        return VI_SUCCESS;
    case VI_ATTR_TERMCHAR_EN:
        value = termCharEnabled_ ? 1 : 0;
        return VI_SUCCESS;
    case VI_ATTR_SEND_END_EN:
        value = sendEnd_ ? 1 : 0;
        return VI_SUCCESS;
    case VI_ATTR_SUPPRESS_END_EN:
        value = suppressEnd_ ? 1 : 0;
        return VI_SUCCESS;
    case VI_ATTR_TCPIP_NODELAY:
        value = 1;
        return VI_SUCCESS;
    case VI_ATTR_INTF_TYPE:
        value = VI_INTF_TCPIP;
        return VI_SUCCESS;
    case VI_ATTR_INTF_NUM:
        value = resource_.board;
        return VI_SUCCESS;
    default:
        return VI_ERROR_NSUP_ATTR;
    }
}

} // namespace zep
