#pragma once
// The backlight and suspend timeouts: saved and set to 0 (never) while the
// program runs, written back at the end, and the power manager told to reload them.

// The keys of the backlight (current user) and suspend (local machine) timeouts.
inline constexpr const char* kBackLightKey = "ControlPanel\\BackLight";
inline constexpr const char* kPowerTimeoutsKey = "SYSTEM\\CurrentControlSet\\Control\\Power\\Timeouts";

// save: remember the four values and write 0; restore: write back the values
// that were remembered (a value never remembered is left as it is). True
// when every step succeeded; the first failure ends the call.
bool SetPowerTimeouts(bool save);

// Forgets the remembered values (tests).
void ResetPowerTimeouts();
