// The receive side of the main window without widgets: collects the bytes the port delivers in
// RxBuffer, cuts them into answer frames by their length bytes, closes an unfinished frame when
// the answer timer fires, checks each frame's CRC and appends one grid row per frame.
//
// The window owns one TRxAssembly and forwards to it:
//   ComPortRxChar(Sender, Count) -> ComPortRxChar(Count)
//   UARTTimeout fires            -> UARTTimeoutTimer()
//   TimeForDataTimer fires       -> TimeForDataTimerTimer()
// Everything runs on the GUI thread; the send path calls ResetRxBuffer(false) and sets
// ClearOnAnswer on the same thread.
#pragma once

#include "app/CommandRecords.h"
#include "app/FrameRows.h"

#include <array>
#include <cstdint>
#include <string>

inline constexpr std::int32_t kRxBufferSize = 64000;
inline constexpr int kAnswerTimeoutMs = 100;
inline constexpr int kTimeForDataMs = 500;
inline constexpr int kMinAnswerLength = 6;
inline constexpr int kMaxAnswerLength = 64;
inline constexpr const char* kStreamBufferExceedText =
    "Warning: stream buffer exceed, reset buffer";

// What the receive side uses of the window and its port.
class TRxWindow {
public:
    virtual ~TRxWindow() = default;
    // The port's blocking Read: at most count bytes, returns the number read.
    virtual std::int32_t ReadPort(std::uint8_t* buffer, std::int32_t count) = 0;
    // The port's ClearBuffer(true, true).
    virtual void ClearPortQueues() = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    // Stops the timer and starts it again with this interval.
    virtual void RestartUARTTimeout(int intervalMs) = 0;
    virtual void StopUARTTimeout() = 0;
    virtual void RestartTimeForDataTimer(int intervalMs) = 0;
    virtual void StopTimeForDataTimer() = 0;
    virtual bool DeleteAutomaticallyChecked() const = 0; // "Delete automatically"
    virtual bool AutoRepeatChecked() const = 0;          // "Auto repeat"
    virtual bool AsciiChecked() const = 0;               // "ASCII"
};

class TRxAssembly {
public:
    // The op-code list and the rows must outlive the assembly.
    TRxAssembly(TRxWindow& window, TFrameRows& rows, const TOpCodeList& opCodes);

    void ComPortRxChar(std::int32_t Count);
    void UARTTimeoutTimer();
    void TimeForDataTimerTimer();
    void ResetRxBuffer(bool keepPortQueues);

    bool GetClearOnAnswer() const { return ClearOnAnswer; }
    void SetClearOnAnswer(bool value) { ClearOnAnswer = value; }

    std::int32_t GetRxFill() const { return RxFill; }
    std::int32_t GetRxFrameStart() const { return RxFrameStart; }
    std::int32_t GetRxFrameLength() const { return RxFrameLength; }
    bool GetTimedOut() const { return TimedOut; }
    bool GetHandledInRxChar() const { return HandledInRxChar; }
    const std::array<std::uint8_t, kRxBufferSize>& GetRxBuffer() const { return RxBuffer; }

private:
    // One reception of at most the room the buffer has after the overflow check.
    void ReceivePiece(std::int32_t count);
    // Shows the frame at RxFrameStart and every complete frame after it, one row each.
    void ProcessRxFrame();
    std::string ShowRxFrameData(std::int32_t s, std::int32_t L) const;
    bool NextFrameComplete() const;
    // RxBuffer[index], or 0 past the buffer's end: an unfinished frame near the end may name
    // positions behind it.
    std::uint8_t ByteAt(std::int64_t index) const;
    std::string LengthStatus() const;

    TRxWindow& Window;
    TFrameRows& Rows;
    const TOpCodeList& OpCodeList;

    std::array<std::uint8_t, kRxBufferSize> RxBuffer{};
    std::int32_t RxFill = 0;
    std::int32_t RxFrameStart = 0;
    std::int32_t RxFrameLength = 0;
    bool TimedOut = false;
    bool HandledInRxChar = false;
    bool ClearOnAnswer = false;
};
