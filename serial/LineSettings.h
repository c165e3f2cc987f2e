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

// Holds an opened line for this program: the lock other copies of Navlume
// take (flock), and the line exclusively (TIOCEXCL), so that a program that
// opens it later gets EBUSY instead of half the stream (a privileged one
// excepted). 0, or the errno of the refusal; then nothing is held.
int HoldLine(int fd);
// Lets others open the line again before it is closed: the exclusive flag
// belongs to the line and would outlast a close while another process keeps it open.
void ReleaseLine(int fd);
