// The one exception type of the port component: a fixed code selects a fixed English text;
// a failed platform call adds its error number (errno here) to the text. The number and its
// meaning are also there to read, so that callers can say what happened without parsing text.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "framework/Exception.h"

class EComPort : public Exception {
public:
    // Raised without a platform number: WinCode is -1 and the text has no suffix.
    explicit EComPort(std::int32_t ACode);
    // Raised after a failed platform call: the text ends in " (win error code: N)".
    EComPort(std::int32_t ACode, std::int32_t AWinCode);

    std::int32_t GetCode() const { return FCode; }
    std::int32_t GetWinCode() const { return FWinCode; }
    // The errno of the failed platform call, 0 when none failed.
    std::int32_t GetErrno() const { return FErrno; }
    // The system's description of GetErrno() ("Device or resource busy"), "" when none.
    std::string GetErrnoText() const;
    // The help context of the base exception; the port's errors carry none.
    std::int32_t GetHelpContext() const { return 0; }

    // For failures outside the fixed table (code 0), such as a missing setup-dialog hook;
    // AErrno is the failed platform call's number, if one failed.
    static EComPort WithText(const std::string& Text, std::int32_t AErrno = 0);

private:
    EComPort(std::int32_t ACode, std::int32_t AWinCode, std::int32_t AErrno,
             const std::string& Text);

    std::int32_t FCode;
    std::int32_t FWinCode;
    std::int32_t FErrno;
};

// An entry that ran into a device gone away (EIO, ENXIO, ENODEV): the loss is told once, by
// OnDeviceLost, so the dispatch does not report such a failure of a handler as well.
bool IsDeviceLossFailure(const std::exception_ptr& Error);

// The fixed text of a code; codes outside 1..23 give a generic text instead of reading
// past the table.
const char* ComErrorText(std::int32_t Code);

// The error codes, named for the code that raises them.
enum : std::int32_t {
    CError_OpenFailed = 1,
    CError_WriteFailed = 2,
    CError_ReadFailed = 3,
    CError_InvalidAsync = 4,
    CError_PurgeFailed = 5,
    CError_AsyncCheck = 6,
    CError_SetStateFailed = 7,
    CError_SetTimeoutsFailed = 8,
    CError_SetupComFailed = 9,
    CError_ClearComFailed = 10,
    CError_ModemStatFailed = 11,
    CError_EscapeComFailed = 12,
    CError_TransmitFailed = 13,
    CError_ConnChangeProp = 14,
    CError_EnumPortsFailed = 15,
    CError_StoreFailed = 16,
    CError_LoadFailed = 17,
    CError_RegFailed = 18,
    CError_LedStateFailed = 19,
    CError_ThreadCreated = 20,
    CError_WaitFailed = 21,
    CError_HasLink = 22,
    CError_RegError = 23
};
