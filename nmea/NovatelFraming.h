#pragma once
// NovAtel ASCII framing, shared by the device layer and the simulators: a log
// is '#', the header fields, ';', the data fields, '*', then the CRC-32 of
// everything between '#' and '*' as eight hex digits, and CR LF.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// NovAtel's CRC-32 (reflected polynomial 0xEDB88320, starting from 0).
uint32_t NovatelCrc32(std::string_view text);

// "#" + text + "*crc\r\n".
std::string FrameNovatelAscii(std::string_view text);

// The text between '#' and '*' of `line` (from '#' to the last hex digit,
// line end optional); nothing when the frame is malformed or its CRC differs.
std::optional<std::string_view> UnframeNovatelAscii(std::string_view line);
