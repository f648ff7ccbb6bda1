// Enumerations and sets shared by the port component and its users. Each enumeration is a
// one-byte ordinal: a member's position is its value everywhere (text forms, storage, compares).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "framework/Object.h"
#include "framework/TSet.h"

enum TBaudRate : std::uint8_t {
    brCustom,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum TStopBits : std::uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits : std::uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits : std::uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl : std::uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl : std::uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl : std::uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };
enum TComEvent : std::uint8_t {
    evRxChar,
    evTxEmpty,
    evRxFlag,
    evRing,
    evBreak,
    evCTS,
    evDSR,
    evError,
    evRLSD,
    evRx80Full
};
enum TComSignal : std::uint8_t { csCTS, csDSR, csRing, csRLSD };
enum TComError : std::uint8_t {
    ceFrame,
    ceRxParity,
    ceOverrun,
    ceBreak,
    ceIO,
    ceMode,
    ceRxOver,
    ceTxFull
};
enum TSyncMethod : std::uint8_t { smThreadSync, smWindowSync, smNone };
enum TComLinkEvent : std::uint8_t {
    leConn,
    leCTS,
    leDSR,
    leRLSD,
    leRing,
    leRx,
    leTx,
    leTxEmpty,
    leRxFlag
};
enum TOperationKind : std::uint8_t { okWrite, okRead };
enum TStoreType : std::uint8_t { stRegistry, stIniFile };
enum TStoredProp : std::uint8_t {
    spBasic,
    spFlowControl,
    spBuffer,
    spTimeouts,
    spParity,
    spOthers
};

using TComEvents = TSet<TComEvent, std::uint16_t>;
using TComSignals = TSet<TComSignal, std::uint8_t>;
using TComErrors = TSet<TComError, std::uint8_t>;
using TStoredProps = TSet<TStoredProp, std::uint8_t>;

inline constexpr TComEvents AllComEvents = TComEvents::FromBits(0x03FF);

// The clock of the port's event times (TCustomComPort::GetEventTime).
using TComClock = std::chrono::steady_clock;

// Handler slots (and TNotifyEvent of the framework): an empty function is an empty slot.
using TRxCharEvent = std::function<void(TObject* Sender, std::int32_t Count)>;
using TRxBufEvent = std::function<void(TObject* Sender, const void* Buffer, std::int32_t Count)>;
using TComErrorEvent = std::function<void(TObject* Sender, TComErrors Errors)>;
using TComSignalEvent = std::function<void(TObject* Sender, bool OnOff)>;
// Errno: what told of the loss (EIO for a hang-up or an unplugged adapter).
using TDeviceLostEvent = std::function<void(TObject* Sender, std::int32_t Errno)>;
