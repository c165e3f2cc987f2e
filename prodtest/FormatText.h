#pragma once
// printf-style formatting into a string, for the short texts of the
// production pages and the lines of the files they write.

#include <cstdarg>
#include <cstdio>
#include <string>

inline std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline std::string FormatText(const char* format, ...) {
  char text[256];  // every text formatted here is one short line
  va_list args;
  va_start(args, format);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  std::vsnprintf(text, sizeof text, format, args);
#pragma GCC diagnostic pop
  va_end(args);
  return text;
}
