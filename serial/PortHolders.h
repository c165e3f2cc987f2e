#pragma once
// Who else has a serial device open, found as fuser finds it: through the
// descriptors each process lists in /proc/PID/fd, by the device's real path. On a desktop gpsd or
// ModemManager may hold a receiver's port; a program that shared it would
// read part of the stream, or configure a receiver that another program
// configures too.
//
// Not a competing program: this process, and a process that holds the master
// side of a pseudo-terminal whose slave is the device (the receiver itself,
// such as a simulator). Processes of other users whose descriptors cannot be
// read are not seen.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

struct PortHolder {
  pid_t pid = 0;
  std::string name;  // the program's name (/proc/PID/comm)
};

// The first other process found holding `devicePath` open, if any.
std::optional<PortHolder> OtherPortHolder(const std::string& devicePath,
                                          const std::filesystem::path& proc = "/proc");
