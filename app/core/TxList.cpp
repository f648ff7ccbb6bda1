#include "app/core/TxList.h"

#include "app/core/FrameRendering.h"

void TTxList::AddToList(const TTxFrame& frame) {
    const std::size_t length = frame[kFrameLengthOffset];
    Entries.emplace_back(frame.begin(), frame.begin() + static_cast<long>(length));
}

void TTxList::ClearList() {
    Entries.clear();
}

void TTxList::StartListMode() {
    TxListMode = true;
    TxListIndex = 0;
}

std::optional<TTxChoice> TTxList::Choose(const TTxFrame& txFrame) {
    TTxChoice choice;
    if (!TxListMode) {
        const std::size_t length = txFrame[kFrameLengthOffset];
        choice.Frame.assign(txFrame.begin(), txFrame.begin() + static_cast<long>(length));
        return choice;
    }
    if (Entries.empty()) {
        return std::nullopt;
    }
    if (TxListIndex < 0 || static_cast<std::size_t>(TxListIndex) >= Entries.size()) {
        TxListIndex = 0;
    }
    choice.Frame = Entries[static_cast<std::size_t>(TxListIndex)];
    choice.Label = "Frame # " + std::to_string(TxListIndex) + " / " +
                   std::to_string(Entries.size()) + ": " +
                   RenderHex(choice.Frame.data(), choice.Frame.size());
    ++TxListIndex;
    if (static_cast<std::size_t>(TxListIndex) >= Entries.size()) {
        TxListIndex = 0;
    }
    return choice;
}
