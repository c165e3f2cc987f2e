#pragma once
// termios settings shared by the program's ports and the receiver probe.

#include <termios.h>

#include <cstdint>
#include <optional>

// The termios speed constant of a rate; nothing for a rate termios lacks.
std::optional<speed_t> BaudConstant(uint32_t baudRate);

// A line that passes bytes through untouched: no echo, no line editing, no
// translation. A non-blocking read then returns what has arrived.
bool MakeRawLine(int fd);
