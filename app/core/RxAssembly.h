// The receive side without widgets: collects the bytes the port delivered in RxBuffer, cuts them
// into answer frames by their length bytes, closes an unfinished frame when the answer timer
// fires, checks each frame's CRC and appends one row per frame.
//
// Bytes are pushed in (Received); what the window must do in turn (status text, timers, the
// port's queues discarded, rows changed) is added to the outcome each call is given.
#pragma once

#include "app/core/CommandRecords.h"
#include "app/core/FrameRows.h"
#include "app/core/WorkbenchOutcome.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

inline constexpr std::int32_t kRxBufferSize = 64000;
// The answer time-out: silence that closes a reception, and that a request may wait for its
// first byte before it counts as unanswered. Settable; this is where it starts.
inline constexpr int kAnswerTimeoutMs = 100;
inline constexpr int kMinAnswerTimeoutMs = 1;
inline constexpr int kMaxAnswerTimeoutMs = 60000;
inline constexpr int kTimeForDataMs = 500;
inline constexpr int kMinAnswerLength = 6;
inline constexpr int kMaxAnswerLength = 64;
inline constexpr const char* kStreamBufferExceedText =
    "Warning: stream buffer exceed, reset buffer";

// The check boxes the receive side and the send path read.
struct TCheckBoxes {
    bool Ascii = false;               // "ASCII"
    bool DeleteAutomatically = false; // "Delete automatically"
    bool ShowTx = true;               // "Show TX frame"
    bool AutoRepeat = false;          // "Auto repeat"
};

class TRxAssembly {
public:
    // The rows, the op-code list and the check boxes must outlive the assembly.
    TRxAssembly(TFrameRows& rows, const TOpCodeList& opCodes, const TCheckBoxes& checks);

    // One reception: the bytes one receive event brought, at time. A frame's row takes the time
    // of the reception that brought its first byte.
    void Received(std::span<const std::uint8_t> bytes, TWorkbenchTime time, TWorkbenchOutcome& out);
    void UARTTimeoutTimer(TWorkbenchOutcome& out);
    void TimeForDataTimerTimer(TWorkbenchOutcome& out);
    void ResetRxBuffer(bool keepPortQueues, TWorkbenchOutcome& out);
    // Before every write: the buffer and the port's queues are emptied, and the reception before
    // ends there. Its answer timer is stopped, so that firing late it cannot discard the port's
    // queue holding the new answer.
    void BeginSend(TWorkbenchOutcome& out);

    std::int32_t GetAnswerTimeout() const { return AnswerTimeoutMs; }
    void SetAnswerTimeout(std::int32_t ms) { AnswerTimeoutMs = ms; }

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
    void ReceivePiece(std::span<const std::uint8_t> piece, TWorkbenchTime time,
                      TWorkbenchOutcome& out);
    // When the byte at index came.
    TWorkbenchTime TimeOf(std::int32_t index) const;
    // Shows the frame at RxFrameStart and every complete frame after it, one row each.
    void ProcessRxFrame(TWorkbenchOutcome& out);
    // The number of parameter bytes the row of the frame at s shows.
    std::size_t ParameterCount(std::int32_t s, std::int32_t L) const;
    // The bytes held from one index up to another, or to the last byte held.
    std::span<const std::uint8_t> Held(std::int32_t from, std::int32_t to) const;
    bool NextFrameComplete() const;
    // RxBuffer[index], or 0 past the buffer's end: an unfinished frame near the end may name
    // positions behind it.
    std::uint8_t ByteAt(std::int64_t index) const;
    std::string LengthStatus() const;

    TFrameRows& Rows;
    const TOpCodeList& OpCodeList;
    const TCheckBoxes& Checks;

    std::array<std::uint8_t, kRxBufferSize> RxBuffer{};
    std::int32_t RxFill = 0;
    // Where each reception since the buffer was last emptied starts in it, and when it came.
    std::vector<std::pair<std::int32_t, TWorkbenchTime>> Receptions;
    std::int32_t RxFrameStart = 0;
    std::int32_t RxFrameLength = 0;
    bool TimedOut = false;
    bool HandledInRxChar = false;
    bool ClearOnAnswer = false;
    std::int32_t AnswerTimeoutMs = kAnswerTimeoutMs;
};
