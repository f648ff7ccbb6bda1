// The records a command-definition file yields, kept in file order by TCommandDefinitions.
// The window reads them for the command box, the "Answer" cell of sent-frame rows and the
// operation-code names of received frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CommandRecord {
    std::string Name;               // at most 63 characters
    std::uint8_t Code = 0;          // sent at offset 2 of the frame
    std::string ParamDescription;   // at most 199 characters; empty for none
    std::string CommandDescription; // at most 244 characters; empty for none
};

struct OpCodeRecord {
    std::string Name; // at most 63 characters
    std::uint8_t Code = 0;
};

using TCommandList = std::vector<CommandRecord>;
using TOpCodeList = std::vector<OpCodeRecord>;

inline constexpr std::size_t kMaxNameLength = 63;
inline constexpr std::size_t kMaxParamDescriptionLength = 199;
inline constexpr std::size_t kMaxCommandDescriptionLength = 244;
// The command box is filled with an 8-bit counter and its index read back as one byte.
inline constexpr std::size_t kMaxCommands = 255;

// The command box item and the sent-frame row's command cell: "0x1A  WRITE".
std::string CommandBoxItem(const CommandRecord& record);

// The first operation code of that value in file order, or nullptr.
const OpCodeRecord* FindOpCode(const TOpCodeList& list, std::uint8_t code);
