#include "app/core/RxAssembly.h"

#include "app/core/Crc16.h"
#include "app/core/HexText.h"

#include <algorithm>
#include <cstring>

TRxAssembly::TRxAssembly(TFrameRows& rows, const TOpCodeList& opCodes, const TCheckBoxes& checks)
    : Rows(rows), OpCodeList(opCodes), Checks(checks) {}

std::uint8_t TRxAssembly::ByteAt(std::int64_t index) const {
    return index >= 0 && index < kRxBufferSize ? RxBuffer[static_cast<std::size_t>(index)] : 0;
}

void TRxAssembly::Received(std::span<const std::uint8_t> bytes, TWorkbenchTime time,
                           TWorkbenchOutcome& out) {
    // One event may bring more bytes than the buffer holds even when empty: they are taken in
    // pieces, each handled as a reception of its own, so nothing is written past the buffer.
    while (!bytes.empty()) {
        if (RxFill + static_cast<std::int64_t>(bytes.size()) >= kRxBufferSize) {
            out.Status(kStreamBufferExceedText);
            ResetRxBuffer(true, out);
        }
        const std::size_t piece =
            std::min(bytes.size(), static_cast<std::size_t>(kRxBufferSize - 1 - RxFill));
        ReceivePiece(bytes.first(piece), time, out);
        bytes = bytes.subspan(piece);
    }
}

void TRxAssembly::ReceivePiece(std::span<const std::uint8_t> piece, TWorkbenchTime time,
                               TWorkbenchOutcome& out) {
    if (Receptions.empty() || Receptions.back().second != time) {
        Receptions.emplace_back(RxFill, time);
    }
    std::memcpy(RxBuffer.data() + RxFill, piece.data(), piece.size());
    RxFill += static_cast<std::int32_t>(piece.size());
    out.Start(wtAnswer, AnswerTimeoutMs);
    TimedOut = false;
    if (ClearOnAnswer && Checks.DeleteAutomatically) {
        ClearOnAnswer = false;
        Rows.ClearRxFrames();
        out.NoteClear();
    }
    out.Start(wtTimeForData, kTimeForDataMs);
    RxFrameLength = ByteAt(static_cast<std::int64_t>(RxFrameStart) + 1);
    out.Status(LengthStatus());
    if (NextFrameComplete()) {
        ProcessRxFrame(out);
        HandledInRxChar = true;
        out.Status("");
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

void TRxAssembly::UARTTimeoutTimer(TWorkbenchOutcome& out) {
    out.Stop(wtAnswer);
    TimedOut = true;
    HandledInRxChar = false;
    // Only bytes that are still held make a timed-out row: a send that reset the buffer while
    // the timer ran leaves nothing to show. Those after a whole frame of the same reception are
    // held all the same.
    if (RxFill > RxFrameStart) {
        ProcessRxFrame(out);
    }
    ResetRxBuffer(false, out);
}

void TRxAssembly::TimeForDataTimerTimer(TWorkbenchOutcome& out) {
    if (Checks.DeleteAutomatically && Checks.AutoRepeat) {
        Rows.ClearRxFrames();
        out.NoteClear();
        out.Stop(wtTimeForData);
    }
}

void TRxAssembly::ResetRxBuffer(bool keepPortQueues, TWorkbenchOutcome& out) {
    if (!keepPortQueues) {
        out.Step(psClearQueues);
    }
    // Only the filled part can hold bytes: past it the buffer is still zero from the last reset.
    std::fill_n(RxBuffer.begin(), RxFill, std::uint8_t{0});
    RxFill = 0;
    Receptions.clear();
    RxFrameStart = 0;
}

TWorkbenchTime TRxAssembly::TimeOf(std::int32_t index) const {
    const auto after =
        std::upper_bound(Receptions.begin(), Receptions.end(), index,
                         [](std::int32_t at, const std::pair<std::int32_t, TWorkbenchTime>& r) {
                             return at < r.first;
                         });
    return after == Receptions.begin() ? TWorkbenchTime{} : std::prev(after)->second;
}

void TRxAssembly::BeginSend(TWorkbenchOutcome& out) {
    out.Stop(wtAnswer);
    HandledInRxChar = false;
    ResetRxBuffer(false, out);
}

void TRxAssembly::ProcessRxFrame(TWorkbenchOutcome& out) {
    // A loop rather than the recursion of "show, then show the next": a buffer of short frames
    // would otherwise nest thousands of calls deep.
    do {
        const std::int32_t s = RxFrameStart;
        const std::int32_t L = RxFrameLength;
        TFrameRow row;
        TRowData data;
        data.Kind = rkCrcOk;
        data.Time = TimeOf(s);
        row[kColNr] = std::to_string(Rows.GetFrameCount());
        row[kColAddr] = hex2(ByteAt(s));
        row[kColLength] = hex2(ByteAt(s + 1));
        row[kColAnswer] = hex2(ByteAt(s + 2));
        if (L < kMinAnswerLength) {
            row[kColAnswer] = row[kColParameters] = row[kColOpCode] = row[kColCrc] = "?";
            data.Kind = TimedOut ? rkTooShortTimeout : rkTooShort;
            if (TimedOut) {
                row[kColLength] = "?";
            }
            data.Line = Held(s, s + 2);
            RxFrameStart = s + 2;
        } else {
            data.Line = Held(s, TimedOut ? RxFill : s + L);
            data.ParamOffset = 3;
            data.ParamCount = ParameterCount(s, L);
            if (TimedOut) {
                row[kColOpCode] = "?";
                row[kColCrc] = "?";
                data.Kind = rkTimeout;
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
                data.Kind = (crc >> 8) == hi && (crc & 0xFF) == lo ? rkCrcOk : rkCrcFail;
                row[kColCrc] = hex2(hi) + " " + hex2(lo);
            }
            RxFrameStart = s + L;
        }
        row[kColStatus] = RowStatusText(data.Kind);
        data.AsciiLength = static_cast<std::size_t>(std::max(L - kMinAnswerLength, 0));
        Rows.AppendRow(row, data);
        out.NoteAppend();
        RxFrameLength = ByteAt(static_cast<std::int64_t>(RxFrameStart) + 1);
        if (!NextFrameComplete()) {
            return;
        }
        HandledInRxChar = true;
        out.Status("");
    } while (true);
}

std::span<const std::uint8_t> TRxAssembly::Held(std::int32_t from, std::int32_t to) const {
    to = std::min(to, RxFill);
    return from < to ? std::span<const std::uint8_t>(RxBuffer.data() + from,
                                                     static_cast<std::size_t>(to - from))
                     : std::span<const std::uint8_t>();
}

std::size_t TRxAssembly::ParameterCount(std::int32_t s, std::int32_t L) const {
    // Whole, the frame's parameters; cut short, every byte that came after the first three
    // (operation code and CRC positions included).
    const std::int32_t n = TimedOut ? RxFill - s - 3 : L - kMinAnswerLength;
    return static_cast<std::size_t>(std::max(n, 0));
}
