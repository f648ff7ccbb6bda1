// Texts of the received-frames grid that both kinds of row share: the two renderings of
// parameter bytes, and the whole row of a sent frame.
#pragma once

#include "app/core/FrameRows.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// Every byte as hex2 and one blank, the last byte included: 01 A0 FF -> "01 A0 FF ".
std::string RenderHex(const std::uint8_t* bytes, std::size_t count);

// 0x21..0x7E as itself, every other byte as '.'.
char AsciiChar(std::uint8_t byte);

// 0x21..0x7E as themselves, every other byte as '.', no separators.
std::string RenderAscii(const std::uint8_t* bytes, std::size_t count);

// The cells of the row of a sent frame f of n bytes (n is the frame's own length byte as sent),
// numbered frameNumber; its parameters are TxFrameParameters. commandCell names the frame's
// command ("" when none). The CRC cell is located by f[1]; a length byte below 5 (a hand-edited
// list entry cannot hold one, but the row must not read before the frame) shows no CRC.
TFrameRow TxFrameRow(const std::uint8_t* f, std::size_t n, std::int32_t frameNumber,
                     const std::string& commandCell);
// The parameter bytes of a sent frame: f[3 .. n-3].
std::span<const std::uint8_t> TxFrameParameters(const std::uint8_t* f, std::size_t n);
