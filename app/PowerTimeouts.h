#pragma once
// The backlight and suspend timeouts: saved and set to 0 (never) while the
// program runs, written back at the end, and the power manager told to reload them.

// save: remember the four values and write 0; restore: write back the values
// that were remembered (a value never remembered is left as it is). True
// when every step succeeded; the first failure ends the call.
bool SetPowerTimeouts(bool save);

// Forgets the remembered values (tests).
void ResetPowerTimeouts();
