// The four setting groups a port owns.
#pragma once

#include <cstdint>

#include "framework/Object.h"
#include "port/CPortTypes.h"

class TCustomComPort;

// What the four groups share: the back-reference to the owning port and the record the port
// rewrites when a field changes.
class TComSettingGroup : public TPersistent {
public:
    TCustomComPort* GetComPort() const { return FComPort; }

protected:
    enum TApplies : std::uint8_t { apDCB, apTimeouts, apBuffer };
    explicit TComSettingGroup(TApplies Applies) : FApplies(Applies) {}
    // A copy is unowned, and values copied onto a port's own group leave it with that port.
    TComSettingGroup(const TComSettingGroup& Other)
        : TPersistent(Other), FApplies(Other.FApplies) {}
    TComSettingGroup& operator=(const TComSettingGroup& Other) {
        TPersistent::operator=(Other);
        return *this;
    }

    template <typename T>
    void SetField(T& Field, T Value) {
        if (Field == Value)
            return;
        Field = Value;
        Changed();
    }
    // The owning port, if any, rewrites its record from the new values.
    void Changed() const;

    // Dest of the same class takes every field without its setters; any other class is refused.
    template <typename G>
    void CopyFieldsTo(TPersistent* Dest) const {
        if (auto* D = dynamic_cast<G*>(Dest))
            *D = static_cast<const G&>(*this);
        else
            TPersistent::AssignTo(Dest);
    }

private:
    friend class TCustomComPort;

    TCustomComPort* FComPort = nullptr;
    TApplies FApplies;
};

class TComTimeouts : public TComSettingGroup {
public:
    TComTimeouts() : TComSettingGroup(apTimeouts) {}

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
    std::int32_t FReadInterval = -1;
    std::int32_t FReadTotalM = 0;
    std::int32_t FReadTotalC = 0;
    std::int32_t FWriteTotalM = 100;
    std::int32_t FWriteTotalC = 1000;
};

class TComFlowControl : public TComSettingGroup {
public:
    TComFlowControl() : TComSettingGroup(apDCB) {}

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

class TComParity : public TComSettingGroup {
public:
    TComParity() : TComSettingGroup(apDCB) {}

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
    TParityBits FBits = prNone;
    bool FCheck = false;
    bool FReplace = false;
    std::uint8_t FReplaceChar = 0;
};

class TComBuffer : public TComSettingGroup {
public:
    TComBuffer() : TComSettingGroup(apBuffer) {}

    // Odd positive sizes are lowered by one: the device takes even queue sizes.
    std::int32_t GetInputSize() const { return FInputSize; }
    void SetInputSize(std::int32_t Value);
    std::int32_t GetOutputSize() const { return FOutputSize; }
    void SetOutputSize(std::int32_t Value);

    void AssignTo(TPersistent* Dest) const override;

private:
    void SetSize(std::int32_t& Field, std::int32_t Value);

    std::int32_t FInputSize = 1024;
    std::int32_t FOutputSize = 1024;
};
