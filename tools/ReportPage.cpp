#include <cerrno>
#include <cstring>
#include <fstream>

#include "tools/CommandRoot.h"
#include "tools/Commands.h"

namespace {
constexpr int kExitFailed = 1;
}

void WriteReportPage(const std::string& command, const std::string& path, const std::string& html) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << html;
  out.flush();
  if (!out) FailCommand(command, "cannot write " + path + ": " + std::strerror(errno), kExitFailed);
}
