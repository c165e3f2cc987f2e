#pragma once
// The version label of the Main page, made from the file version string
// ("3,6,13,0" reads "(v3.6.13)").

#include <string>
#include <string_view>

// Each of the first three comma-separated parts without its leading blanks,
// at most 7 characters of it; a missing part is empty.
std::string VersionLabel(std::string_view fileVersion);
