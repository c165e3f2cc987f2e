#pragma once
// The program's file version as its version resource carries it.
constexpr const char* kFileVersion = "3,6,13,0";
