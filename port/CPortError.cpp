#include "port/CPortError.h"

#include "platform/serial/SerialDriver.h"

#include <array>
#include <cstring>

namespace {

constexpr std::array<const char*, 23> ErrorTexts = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};

std::string WithWinCode(std::int32_t Code, std::int32_t WinCode) {
    return std::string(ComErrorText(Code)) + " (win error code: " + std::to_string(WinCode) + ")";
}

} // namespace

const char* ComErrorText(std::int32_t Code) {
    if (Code < 1 || Code > static_cast<std::int32_t>(ErrorTexts.size()))
        return "Unknown port error";
    return ErrorTexts[static_cast<std::size_t>(Code - 1)];
}

EComPort::EComPort(std::int32_t ACode) : EComPort(ACode, -1, 0, ComErrorText(ACode)) {}

// The platform's number is an errno here; a negative one stands for none.
EComPort::EComPort(std::int32_t ACode, std::int32_t AWinCode)
    : EComPort(ACode, AWinCode, AWinCode > 0 ? AWinCode : 0, WithWinCode(ACode, AWinCode)) {}

EComPort::EComPort(std::int32_t ACode, std::int32_t AWinCode, std::int32_t AErrno,
                   const std::string& Text)
    : Exception(Text), FCode(ACode), FWinCode(AWinCode), FErrno(AErrno) {}

EComPort EComPort::WithText(const std::string& Text, std::int32_t AErrno) {
    return EComPort(0, -1, AErrno > 0 ? AErrno : 0, Text);
}

std::string EComPort::GetErrnoText() const {
    if (FErrno == 0)
        return {};
    char Buffer[256];
    // The GNU form: the text may be a static string rather than Buffer.
    return strerror_r(FErrno, Buffer, sizeof Buffer);
}

bool IsDeviceLossFailure(const std::exception_ptr& Error) {
    try {
        std::rethrow_exception(Error);
    } catch (const EComPort& E) {
        return IsDeviceLostError(E.GetErrno());
    } catch (...) {
        return false;
    }
}
