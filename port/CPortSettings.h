// The four setting groups a port owns. Each keeps a back-reference to its port (none for an
// unowned copy) and asks that port to reapply its record when a field changes.
#pragma once

#include <cstdint>

#include "framework/Object.h"
#include "port/CPortTypes.h"

class TCustomComPort;

class TComTimeouts : public TPersistent {
public:
    TComTimeouts() = default;

    TCustomComPort* GetComPort() const { return FComPort; }

    std::int32_t GetReadInterval() const { return FReadInterval; }
    void SetReadInterval(std::int32_t Value);
    std::int32_t GetReadTotalMultiplier() const { return FReadTotalM; }
    void SetReadTotalMultiplier(std::int32_t Value);
    std::int32_t GetReadTotalConstant() const { return FReadTotalC; }
    void SetReadTotalConstant(std::int32_t Value);
    std::int32_t GetWriteTotalMultiplier() const { return FWriteTotalM; }
    void SetWriteTotalMultiplier(std::int32_t Value);
    std::int32_t GetWriteTotalConstant() const { return FWriteTotalC; }
    void SetWriteTotalConstant(std::int32_t Value);

    void AssignTo(TPersistent* Dest) const override;

private:
    friend class TCustomComPort;
    void SetField(std::int32_t& Field, std::int32_t Value);

    TCustomComPort* FComPort = nullptr;
    std::int32_t FReadInterval = -1;
    std::int32_t FReadTotalM = 0;
    std::int32_t FReadTotalC = 0;
    std::int32_t FWriteTotalM = 100;
    std::int32_t FWriteTotalC = 1000;
};

class TComFlowControl : public TPersistent {
public:
    TComFlowControl() = default;

    TCustomComPort* GetComPort() const { return FComPort; }

    bool GetOutCTSFlow() const { return FOutCTSFlow; }
    void SetOutCTSFlow(bool Value);
    bool GetOutDSRFlow() const { return FOutDSRFlow; }
    void SetOutDSRFlow(bool Value);
    TDTRFlowControl GetControlDTR() const { return FControlDTR; }
    void SetControlDTR(TDTRFlowControl Value);
    TRTSFlowControl GetControlRTS() const { return FControlRTS; }
    void SetControlRTS(TRTSFlowControl Value);
    bool GetXonXoffOut() const { return FXonXoffOut; }
    void SetXonXoffOut(bool Value);
    bool GetXonXoffIn() const { return FXonXoffIn; }
    void SetXonXoffIn(bool Value);
    bool GetDSRSensitivity() const { return FDSRSensitivity; }
    void SetDSRSensitivity(bool Value);
    bool GetTxContinueOnXoff() const { return FTxContinueOnXoff; }
    void SetTxContinueOnXoff(bool Value);
    std::uint8_t GetXonChar() const { return FXonChar; }
    void SetXonChar(std::uint8_t Value);
    std::uint8_t GetXoffChar() const { return FXoffChar; }
    void SetXoffChar(std::uint8_t Value);

    // A summary computed from the fields; writing it always reapplies, even fcCustom.
    TFlowControl GetFlowControl() const;
    void SetFlowControl(TFlowControl Value);

    void AssignTo(TPersistent* Dest) const override;

private:
    friend class TCustomComPort;
    template <typename T>
    void SetField(T& Field, T Value);

    TCustomComPort* FComPort = nullptr;
    bool FOutCTSFlow = false;
    bool FOutDSRFlow = false;
    TDTRFlowControl FControlDTR = dtrDisable;
    TRTSFlowControl FControlRTS = rtsDisable;
    bool FXonXoffOut = false;
    bool FXonXoffIn = false;
    bool FDSRSensitivity = false;
    bool FTxContinueOnXoff = false;
    std::uint8_t FXonChar = 17;
    std::uint8_t FXoffChar = 19;
};

class TComParity : public TPersistent {
public:
    TComParity() = default;

    TCustomComPort* GetComPort() const { return FComPort; }

    TParityBits GetBits() const { return FBits; }
    void SetBits(TParityBits Value);
    bool GetCheck() const { return FCheck; }
    void SetCheck(bool Value);
    bool GetReplace() const { return FReplace; }
    void SetReplace(bool Value);
    std::uint8_t GetReplaceChar() const { return FReplaceChar; }
    void SetReplaceChar(std::uint8_t Value);

    void AssignTo(TPersistent* Dest) const override;

private:
    friend class TCustomComPort;
    template <typename T>
    void SetField(T& Field, T Value);

    TCustomComPort* FComPort = nullptr;
    TParityBits FBits = prNone;
    bool FCheck = false;
    bool FReplace = false;
    std::uint8_t FReplaceChar = 0;
};

class TComBuffer : public TPersistent {
public:
    TComBuffer() = default;

    TCustomComPort* GetComPort() const { return FComPort; }

    // Odd positive sizes are lowered by one: the device takes even queue sizes.
    std::int32_t GetInputSize() const { return FInputSize; }
    void SetInputSize(std::int32_t Value);
    std::int32_t GetOutputSize() const { return FOutputSize; }
    void SetOutputSize(std::int32_t Value);

    void AssignTo(TPersistent* Dest) const override;

private:
    friend class TCustomComPort;
    void SetSize(std::int32_t& Field, std::int32_t Value);

    TCustomComPort* FComPort = nullptr;
    std::int32_t FInputSize = 1024;
    std::int32_t FOutputSize = 1024;
};
