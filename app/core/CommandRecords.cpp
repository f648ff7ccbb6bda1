#include "app/core/CommandRecords.h"

#include "app/core/HexText.h"

std::string CommandBoxItem(const CommandRecord& record) {
    return "0x" + hex2(record.Code) + "  " + record.Name;
}

const OpCodeRecord* FindOpCode(const TOpCodeList& list, std::uint8_t code) {
    for (const OpCodeRecord& record : list) {
        if (record.Code == code) {
            return &record;
        }
    }
    return nullptr;
}
