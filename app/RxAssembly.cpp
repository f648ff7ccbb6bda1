#include "app/RxAssembly.h"

#include "app/Crc16.h"
#include "app/FrameRendering.h"
#include "app/HexText.h"

#include <algorithm>

TRxAssembly::TRxAssembly(TRxWindow& window, TFrameRows& rows, const TOpCodeList& opCodes)
    : Window(window), Rows(rows), OpCodeList(opCodes) {}

std::uint8_t TRxAssembly::ByteAt(std::int64_t index) const {
    return index >= 0 && index < kRxBufferSize ? RxBuffer[static_cast<std::size_t>(index)] : 0;
}

void TRxAssembly::ComPortRxChar(std::int32_t Count) {
    // One event may announce more bytes than the buffer holds even when empty: they are taken
    // in pieces, each handled as a reception of its own, so nothing is written past the buffer.
    while (Count > 0) {
        if (RxFill + static_cast<std::int64_t>(Count) >= kRxBufferSize) {
            Window.SetStatusText(kStreamBufferExceedText);
            ResetRxBuffer(true);
        }
        const std::int32_t piece = std::min(Count, kRxBufferSize - 1 - RxFill);
        const std::int32_t got = Window.ReadPort(RxBuffer.data() + RxFill, piece);
        if (got <= 0) {
            return;
        }
        ReceivePiece(std::min(got, piece));
        if (got < piece) {
            return;
        }
        Count -= piece;
    }
}

void TRxAssembly::ReceivePiece(std::int32_t count) {
    RxFill += count;
    Window.RestartUARTTimeout(kAnswerTimeoutMs);
    TimedOut = false;
    if (ClearOnAnswer && Window.DeleteAutomaticallyChecked()) {
        ClearOnAnswer = false;
        Rows.ClearRxFrames();
    }
    Window.RestartTimeForDataTimer(kTimeForDataMs);
    RxFrameLength = ByteAt(static_cast<std::int64_t>(RxFrameStart) + 1);
    Window.SetStatusText(LengthStatus());
    if (NextFrameComplete()) {
        ProcessRxFrame();
        HandledInRxChar = true;
        Window.SetStatusText("");
    }
}

std::string TRxAssembly::LengthStatus() const {
    if (RxFrameLength < kMinAnswerLength) {
        return "Warning: incorrect frame length (too short: " + std::to_string(RxFrameLength) +
               " bytes, min = " + std::to_string(kMinAnswerLength) + ")";
    }
    if (RxFrameLength > kMaxAnswerLength) {
        return "Warning: incorrect frame length (too long: " + std::to_string(RxFrameLength) +
               " bytes, max = " + std::to_string(kMaxAnswerLength) + ")";
    }
    return "";
}

bool TRxAssembly::NextFrameComplete() const {
    const std::int32_t held = RxFill - RxFrameStart;
    return held >= 2 && held >= RxFrameLength;
}

void TRxAssembly::UARTTimeoutTimer() {
    Window.StopUARTTimeout();
    TimedOut = true;
    if (HandledInRxChar) {
        HandledInRxChar = false;
    } else if (RxFill > RxFrameStart) {
        // Only bytes that are still held make a timed-out row: a send that reset the buffer
        // while the timer ran leaves nothing to show.
        ProcessRxFrame();
    }
    ResetRxBuffer(false);
}

void TRxAssembly::TimeForDataTimerTimer() {
    if (Window.DeleteAutomaticallyChecked() && Window.AutoRepeatChecked()) {
        Rows.ClearRxFrames();
        Window.StopTimeForDataTimer();
    }
}

void TRxAssembly::ResetRxBuffer(bool keepPortQueues) {
    if (!keepPortQueues) {
        Window.ClearPortQueues();
    }
    RxBuffer.fill(0);
    RxFill = 0;
    RxFrameStart = 0;
}

void TRxAssembly::ProcessRxFrame() {
    // A loop rather than the recursion of "show, then show the next": a buffer of short frames
    // would otherwise nest thousands of calls deep.
    do {
        const std::int32_t s = RxFrameStart;
        const std::int32_t L = RxFrameLength;
        TFrameRow row;
        row[kColNr] = std::to_string(Rows.GetFrameCount());
        row[kColAddr] = hex2(ByteAt(s));
        row[kColLength] = hex2(ByteAt(s + 1));
        row[kColAnswer] = hex2(ByteAt(s + 2));
        if (L < kMinAnswerLength) {
            row[kColAnswer] = row[kColParameters] = row[kColOpCode] = row[kColCrc] = "?";
            if (TimedOut) {
                row[kColStatus] = "Too short/timeout";
                row[kColLength] = "?";
            } else {
                row[kColStatus] = "Too short";
            }
            RxFrameStart = s + 2;
        } else {
            row[kColParameters] = ShowRxFrameData(s, L);
            if (TimedOut) {
                row[kColOpCode] = "?";
                row[kColCrc] = "?";
                row[kColStatus] = "Timeout";
            } else {
                const std::uint8_t op = ByteAt(s + L - 3);
                row[kColOpCode] = "0x" + hex2(op);
                if (const OpCodeRecord* named = FindOpCode(OpCodeList, op)) {
                    row[kColOpCode] += "   " + named->Name;
                }
                const std::uint16_t crc =
                    Crc16(RxBuffer.data() + s, static_cast<std::uint8_t>(L - 2));
                const std::uint8_t hi = ByteAt(s + L - 2);
                const std::uint8_t lo = ByteAt(s + L - 1);
                row[kColStatus] = (crc >> 8) == hi && (crc & 0xFF) == lo ? "CRC OK" : "CRC FAIL";
                row[kColCrc] = hex2(hi) + " " + hex2(lo);
            }
            RxFrameStart = s + L;
        }
        Rows.AppendRow(row);
        RxFrameLength = ByteAt(static_cast<std::int64_t>(RxFrameStart) + 1);
        if (NextFrameComplete()) {
            HandledInRxChar = true;
            Window.SetStatusText("");
        } else {
            return;
        }
    } while (true);
}

std::string TRxAssembly::ShowRxFrameData(std::int32_t s, std::int32_t L) const {
    std::int32_t n = L - 6;
    if (Window.AsciiChecked()) {
        std::string text(static_cast<std::size_t>(std::max(n, 0)), '.');
        for (std::int32_t k = 0; k < n; ++k) {
            text[static_cast<std::size_t>(k)] =
                AsciiChar(ByteAt(static_cast<std::int64_t>(s) + 3 + k));
        }
        return text;
    }
    if (TimedOut) {
        n = RxFill - s - 3;
    }
    if (n < 1) {
        return "";
    }
    return RenderHex(RxBuffer.data() + s + 3, static_cast<std::size_t>(n));
}
