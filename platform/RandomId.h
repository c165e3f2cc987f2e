#pragma once
// Ids that no other result anywhere shares: random UUIDs (version 4) from the
// kernel's random source (getrandom), so that units with no clock or name in
// common still never make the same one.

#include <string>

namespace platform {

// "1b4e28ba-2fa1-4d3b-a3f5-ef19b5a7633b": 36 characters, lower-case hex with
// hyphens; "" (logged) when the kernel gives no random bytes.
std::string RandomUuid();

}  // namespace platform
