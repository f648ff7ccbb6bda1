// The frames the send routine can take: the frame being composed, or the collected list that
// "Send list" sends entry by entry (TxList, TxListMode, TxListIndex).
#pragma once

#include "app/core/TxFrame.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TTxChoice {
    std::vector<std::uint8_t> Frame; // L bytes, L = Frame[1]
    // List mode: "Frame # i / n: " and the bytes, for the "Command description" label.
    std::optional<std::string> Label;
};

class TTxList {
public:
    // "Add to list": a copy of the first L bytes of the frame, L = frame[1].
    void AddToList(const TTxFrame& frame);
    // "Clear list": the entries go, TxListIndex stays.
    void ClearList();
    // "Send list": list mode from the first entry.
    void StartListMode();
    // The send button leaves list mode.
    void LeaveListMode() { TxListMode = false; }

    // The frame the next send takes, and in list mode moves TxListIndex on (wrapping). Nothing in
    // list mode with an empty list. An index left behind by a list cleared and refilled shorter
    // starts again at the first entry instead of reading past the list.
    std::optional<TTxChoice> Choose(const TTxFrame& txFrame);

    bool GetTxListMode() const { return TxListMode; }
    std::int32_t GetTxListIndex() const { return TxListIndex; }
    std::size_t Count() const { return Entries.size(); }
    const std::vector<std::uint8_t>& Entry(std::size_t i) const { return Entries.at(i); }

private:
    std::vector<std::vector<std::uint8_t>> Entries;
    bool TxListMode = false;
    std::int32_t TxListIndex = 0;
};
