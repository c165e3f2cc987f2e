#pragma once
// The receiver types: what CreateEX is given and what the device-control
// library reports as the hardware fitted, and the rate receivers start at.

#include <cstdint>

constexpr uint32_t kGpsTypeAgps = 2;  // what the program passes for the A-GPS port
constexpr uint32_t kGpsTypeUblox = 3;
constexpr uint32_t kGpsTypeOem615 = 4;

// The rate of a receiver after power-on and of the station's ports.
constexpr int32_t kDefaultBaudRate = 9600;
