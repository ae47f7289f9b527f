// The VXI-11 session: each VISA operation as its core channel procedure, device errors as VISA statuses.
#include "instio/visa_builtin/Vxi11Session.h"

#include <algorithm>
#include <cstring>

namespace zep {
namespace {

// How long past the device's own I/O time-out a VXI-11 reply is waited for.
constexpr ViUInt32 RpcGraceMs = 250;

Deadline RpcDeadline(ViUInt32 timeoutMs) {
    if (timeoutMs == VI_TMO_INFINITE) {
        return std::nullopt;
    }
    return *DeadlineAfter(timeoutMs) + std::chrono::milliseconds(RpcGraceMs);
}

// Milliseconds left before the deadline, for the device's io_timeout.
ViUInt32 RemainingMs(const Deadline& deadline) {
    if (!deadline) {
        return VI_TMO_INFINITE;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<ViUInt32>(std::min<long long>(left, 0xFFFFFFFEll));
}

ViStatus FromVxi11(Vxi11Error error) {
    switch (error) {
    case Vxi11Error::None:
        return VI_SUCCESS;
    case Vxi11Error::IoTimeout:
    case Vxi11Error::RpcTimeout:
        return VI_ERROR_TMO;
    case Vxi11Error::DeviceLocked:
    case Vxi11Error::NoLockHeld:
        return VI_ERROR_RSRC_LOCKED;
    case Vxi11Error::Abort:
        return VI_ERROR_ABORT;
    case Vxi11Error::OperationNotSupported:
        return VI_ERROR_NSUP_OPER;
    case Vxi11Error::InvalidLink:
    case Vxi11Error::ConnectionLost:
        return VI_ERROR_CONN_LOST;
    default:
        return VI_ERROR_IO;
    }
}

} // namespace

ViStatus Vxi11Session::Open(const BuiltinVisaOptions& options, ViAccessMode accessMode) {
    const bool lock = (accessMode & VI_EXCLUSIVE_LOCK) != 0;
    const Vxi11Error error = vxi11_.Open(Resource().host, options.portmapperPort, Resource().lanDevice, lock,
                                         0, DeadlineAfter(options.connectTimeoutMs));
    if (error == Vxi11Error::None) {
        return VI_SUCCESS;
    }
    return error == Vxi11Error::DeviceLocked ? VI_ERROR_RSRC_LOCKED : VI_ERROR_RSRC_NFOUND;
}

void Vxi11Session::Close() {
    vxi11_.Close(DeadlineAfter(std::min<ViUInt32>(timeoutMs_, 1000)));
}

ViStatus Vxi11Session::Write(const char* data, ViUInt32 count, ViUInt32& written) {
    const Vxi11Error error =
        vxi11_.Write(std::string_view(data, count), sendEnd_, timeoutMs_, RpcDeadline(timeoutMs_), written);
    return FromVxi11(error);
}

ViStatus Vxi11Session::Read(char* buffer, ViUInt32 count, ViUInt32& read) {
    const Deadline deadline = DeadlineAfter(timeoutMs_);
    while (true) {
        const ViUInt32 ioTimeout = RemainingMs(deadline);
        Vxi11ReadResult result;
        vxi11_.Read(count - read, termCharEnabled_, termChar_, ioTimeout, RpcDeadline(ioTimeout), result);
        std::memcpy(buffer + read, result.data.data(), result.data.size());
        read += static_cast<ViUInt32>(result.data.size());
        if (result.error != Vxi11Error::None) {
            return FromVxi11(result.error);
        }
        if ((result.reason & Vxi11Client::ReasonEnd) != 0 && !suppressEnd_) {
            return VI_SUCCESS;
        }
        if ((result.reason & Vxi11Client::ReasonTermChar) != 0) {
            return VI_SUCCESS_TERM_CHAR;
        }
        if (read >= count) {
            return VI_SUCCESS_MAX_CNT;
        }
        if (deadline && Clock::now() >= *deadline) {
            return VI_ERROR_TMO;
        }
    }
}

ViStatus Vxi11Session::ReadSTB(ViUInt16& statusByte) {
    std::uint8_t value = 0;
    const Vxi11Error error = vxi11_.ReadStatusByte(timeoutMs_, RpcDeadline(timeoutMs_), value);
    statusByte = value;
    return FromVxi11(error);
}

ViStatus Vxi11Session::Clear() {
    return FromVxi11(vxi11_.Clear(timeoutMs_, RpcDeadline(timeoutMs_)));
}

ViStatus Vxi11Session::ControlREN(ViUInt16 mode) {
    const bool local =
        mode == VI_GPIB_REN_DEASSERT || mode == VI_GPIB_REN_DEASSERT_GTL || mode == VI_GPIB_REN_ADDRESS_GTL;
    const Deadline deadline = RpcDeadline(timeoutMs_);
    return FromVxi11(local ? vxi11_.Local(timeoutMs_, deadline) : vxi11_.Remote(timeoutMs_, deadline));
}

} // namespace zep
