// The event thread of an open port: waits for the selected device events and hands each batch
// to the port's event entries by the port's SyncMethod.
#pragma once

#include <atomic>
#include <cstdint>

#include "framework/Thread.h"
#include "platform/serial/SerialDriver.h"
#include "port/CPortTypes.h"

class TCustomComPort;

class TComThread : public TThread {
public:
    // Takes the port's event mask and priority and starts at once. Raises EComPort when the
    // device refuses the event mask.
    explicit TComThread(TCustomComPort* AComPort);
    // Stops the thread and waits for it; on the GUI thread the wait serves queued dispatches.
    ~TComThread() override;

    void Stop();
    // The three dispatch paths of the last wait's events, by the port's SyncMethod.
    void DispatchComMsg();
    void DoEvents();
    void SendEvents();
    // True while the calling thread runs one of this thread's dispatches and the event thread
    // cannot end before it returns: in the event thread itself, or in a smThreadSync batch.
    bool IsDispatchBlocking() const;

protected:
    void Execute() override;

private:
    // Reports an exception the component cannot hand to a caller; the thread carries on.
    void Report();
    void ReportError(std::int32_t Code, std::int32_t WinCode);
    // The errno of the device's loss, Fallback when the driver has none.
    static std::int32_t LossOf(TSerialHandle Handle, std::int32_t Fallback);
    // Dispatches Batch, with the bytes still queued, then the loss by the port's SyncMethod.
    void TellLoss(std::int32_t Errno, TComEvents Batch);

    TCustomComPort* FComPort;
    std::atomic<bool> FInSyncDispatch{false};
    TEventHandle FStopEvent;
    TComEvents FEvents;
    // When the last wait returned with FEvents: the time of each of them.
    TComClock::time_point FWakeTime{};
    std::uint32_t FMask = 0;
    OVERLAPPED FOverlapped{};
};

// Runs the port's event entry (CallError, CallRxChar, ...) of one event that came at Time;
// shared by the thread's dispatch and the hidden window.
void CallEventEntry(TCustomComPort& Port, TComEvent Event, TComClock::time_point Time);
// The order in which one batch's events are handled: a line error before the bytes.
inline constexpr TComEvent EventDispatchOrder[] = {
    evError, evRxChar, evTxEmpty, evBreak, evRing, evCTS, evDSR, evRxFlag, evRLSD, evRx80Full};
