// The configuration text reader: key lookup, token bounds, and the file read.

#include "prodtest/ConfigText.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/Debug.h"
#include "support/TempFolder.h"

namespace {

std::string ValueOf(std::string_view text, const char* key, bool* found = nullptr) {
  ConfigValue value;
  const char* next = Getstring(text, key, &value);
  if (found) *found = next != nullptr;
  return next ? std::string(value.View()) : std::string("<none>");
}

TEST(Getstring, FindsKeyAnywhereAndSkipsOnlySpaces) {
  EXPECT_EQ(ValueOf("PORT1:U-BLOX\r\n", "PORT1:"), "U-BLOX");
  EXPECT_EQ(ValueOf("PORT1:    U-BLOX   \r\n", "PORT1:"), "U-BLOX");
  EXPECT_EQ(ValueOf("junkPORT1: A-GPS", "PORT1:"), "A-GPS");
  EXPECT_EQ(ValueOf("PORT1:\tU-BLOX\r\n", "PORT1:"), "\tU-BLOX");
  EXPECT_EQ(ValueOf("port1: U-BLOX\r\n", "PORT1:"), "<none>");
}

TEST(Getstring, FirstOccurrenceWins) { EXPECT_EQ(ValueOf("LEVEL1: 20\r\nLEVEL1: 30\r\n", "LEVEL1:"), "20"); }

TEST(Getstring, KeyAtEndHasEmptyValueButLineBreakHasNone) {
  bool found = false;
  EXPECT_EQ(ValueOf("TESTTIMEOUT:", "TESTTIMEOUT:", &found), "");
  EXPECT_TRUE(found);
  EXPECT_EQ(ValueOf("TESTTIMEOUT:   ", "TESTTIMEOUT:", &found), "");
  EXPECT_TRUE(found);
  ValueOf("TESTTIMEOUT:\r\n30", "TESTTIMEOUT:", &found);
  EXPECT_FALSE(found);
  ValueOf("TESTTIMEOUT:  \n30", "TESTTIMEOUT:", &found);
  EXPECT_FALSE(found);
  ValueOf("TESTTYPE: 1", "TESTTIMEOUT:", &found);
  EXPECT_FALSE(found);
}

TEST(Getstring, ReturnsPositionOfDelimiter) {
  const std::string_view text = "PORT1: OEM615\r\nLEVEL1: 30";
  ConfigValue value;
  const char* next = Getstring(text, "PORT1:", &value);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next, text.data() + text.find('\r'));
}

TEST(Getstring, LongTokensAreCutAndFlaggedNeverOverflow) {
  ConfigValue nine;
  ASSERT_NE(Getstring("PORT1: 123456789\r\n", "PORT1:", &nine), nullptr);
  EXPECT_EQ(nine.View(), "123456789");
  EXPECT_FALSE(nine.bTooLong);

  ConfigValue ten;
  ASSERT_NE(Getstring("PORT1: U-BLOXXXXX\r\n", "PORT1:", &ten), nullptr);
  EXPECT_EQ(ten.View(), "U-BLOXXXX");
  EXPECT_TRUE(ten.bTooLong);

  const std::string text = "PORT1: " + std::string(200, 'Z') + "\r\n";
  ConfigValue huge;
  const char* next = Getstring(text, "PORT1:", &huge);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(huge.View(), std::string(9, 'Z'));
  EXPECT_TRUE(huge.bTooLong);
  EXPECT_EQ(next, text.data() + 207);
}

TEST(Getstring, NeverReadsPastTheText) {
  // Exactly sized heap blocks: AddressSanitizer reports any read beyond them.
  const std::string body = "TESTTYPE: 1\r\nLEVEL1:";
  std::vector<char> keyAtEnd(body.begin(), body.end());
  ConfigValue value;
  EXPECT_NE(Getstring({keyAtEnd.data(), keyAtEnd.size()}, "LEVEL1:", &value), nullptr);
  EXPECT_EQ(value.View(), "");

  std::vector<char> tokenAtEnd(kConfigReadBytes, 'x');
  const std::string tail = "PORT2: A-GPS";
  std::memcpy(tokenAtEnd.data() + kConfigReadBytes - tail.size(), tail.data(), tail.size());
  EXPECT_NE(Getstring({tokenAtEnd.data(), tokenAtEnd.size()}, "PORT2:", &value), nullptr);
  EXPECT_EQ(value.View(), "A-GPS");

  std::vector<char> partialKey(kConfigReadBytes, 'x');
  std::memcpy(partialKey.data() + kConfigReadBytes - 4, "PORT", 4);
  EXPECT_EQ(Getstring({partialKey.data(), partialKey.size()}, "PORT1:", &value), nullptr);
}

TEST(Getstring, NullParametersAreRefused) {
  platform::DebugCapture capture;
  ConfigValue value;
  EXPECT_EQ(Getstring({}, "PORT1:", &value), nullptr);
  EXPECT_EQ(Getstring("PORT1: A-GPS", nullptr, &value), nullptr);
  EXPECT_EQ(Getstring("PORT1: A-GPS", "PORT1:", nullptr), nullptr);
  EXPECT_EQ(capture.Count("[Navlume] Getstring parameter error!"), 3u);
  EXPECT_EQ(capture.Count("ERROR: ConfigText.cpp line "), 3u);
}

TEST(ParseDecimal, TakesLeadingDigitsWithSign) {
  EXPECT_EQ(ParseDecimal("40abc"), 40);
  EXPECT_EQ(ParseDecimal("-5"), -5);
  EXPECT_EQ(ParseDecimal("+7x"), 7);
  EXPECT_EQ(ParseDecimal("abc"), 0);
  EXPECT_EQ(ParseDecimal(""), 0);
  EXPECT_EQ(ParseDecimal("-"), 0);
  EXPECT_EQ(ParseDecimal("99999999999999"), 2147483647);
  EXPECT_EQ(ParseDecimal("-99999999999999"), -2147483647 - 1);
}

class ConfigTextFile : public ::testing::Test {
 protected:
  std::filesystem::path Write(const std::string& name, const std::string& bytes) {
    const auto path = m_Dir.Path() / name;
    navlume_test::WriteText(path, bytes);
    return path;
  }
  navlume_test::TempFolder m_Dir;
};

TEST_F(ConfigTextFile, TextStopsAtAZeroByte) {
  CConfigText file;
  ASSERT_TRUE(file.Open(Write("zero.ini", std::string("TESTTYPE: 1\r\n\0PORT1: A-GPS\r\n", 29))));
  EXPECT_EQ(file.Read(), 29u);
  EXPECT_EQ(file.Text(), "TESTTYPE: 1\r\n");
}

TEST_F(ConfigTextFile, EmptyMissingAndFolderPaths) {
  CConfigText file;
  ASSERT_TRUE(file.Open(Write("empty.ini", "")));
  EXPECT_EQ(file.Read(), 0u);
  EXPECT_FALSE(file.Open(m_Dir.Path() / "missing.ini"));
  EXPECT_EQ(file.Read(), 0u);
  std::filesystem::create_directory(m_Dir.Path() / "folder.ini");
  EXPECT_FALSE(file.Open(m_Dir.Path() / "folder.ini"));
}

// A write-protected file must be read. The superuser ignores permission bits,
// so the reader runs as an unprivileged user in a child process; opening for
// writing is refused there, which shows that the reader only asks to read.
TEST_F(ConfigTextFile, WriteProtectedFileIsRead) {
  const auto path = Write("protected.ini", "PORT1: OEM615\r\n");
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  ASSERT_EQ(::chmod(m_Dir.Path().c_str(), 0755), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    if (::access(path.c_str(), W_OK) == 0) ::_exit(4);
    CConfigText file;
    if (!file.Open(path)) ::_exit(1);
    ConfigValue value;
    if (file.Read() == 0 || !Getstring(file.Text(), "PORT1:", &value) || value.View() != "OEM615") ::_exit(2);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: not opened, 2: not read, 3: no unprivileged user, 4: still writable";
}

}  // namespace
