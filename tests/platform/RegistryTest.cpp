#include <gtest/gtest.h>

#include <sys/wait.h>

#include <thread>
#include <vector>

#include "platform/Debug.h"
#include "platform/Registry.h"
#include "support/ChildProcess.h"
#include "support/TempFolder.h"

namespace {

using namespace platform;
using navlume_test::ReadText;
using navlume_test::TempFolder;
using navlume_test::WriteText;

constexpr const char* kRil = "Software\\Microsoft\\RIL";

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Capture.SetEcho(false);
    OpenRegistryFile(File());
  }
  void TearDown() override { OpenRegistryFile({}); }

  std::filesystem::path File() const { return m_Folder.Path() / "registry.reg"; }

  static uint32_t Dword(std::string_view path, std::string_view name, long* result = nullptr) {
    RegKey key;
    uint32_t value = 0xDEADBEEF;
    uint32_t size = sizeof value;
    uint32_t type = 0;
    long r = RegOpenKey(RegRoot::LocalMachine, path, key);
    if (r == kRegSuccess) r = RegQueryValue(key, name, &type, &value, size);
    if (r == kRegSuccess) {
      EXPECT_EQ(type, kRegDword);
    }
    if (result) *result = r;
    RegCloseKey(key);
    return value;
  }

  static std::string String(std::string_view path, std::string_view name) {
    RegKey key;
    char text[64] = {};
    uint32_t size = sizeof text;
    EXPECT_EQ(RegOpenKey(RegRoot::LocalMachine, path, key), kRegSuccess);
    EXPECT_EQ(RegQueryValue(key, name, nullptr, text, size), kRegSuccess);
    return text;
  }

  TempFolder m_Folder;
  DebugCapture m_Capture;
};

TEST_F(RegistryTest, ValuesSurviveAReopenInTheRegFormat) {
  RegKey key;
  ASSERT_EQ(RegCreateKey(RegRoot::LocalMachine, kRil, key), kRegSuccess);
  EXPECT_EQ(RegSetDword(key, "StartOptions", 1), kRegSuccess);
  EXPECT_EQ(RegSetDword(key, "SaveNMEAData", 0xABCDEF12), kRegSuccess);
  RegKey drivers;
  ASSERT_EQ(RegCreateKey(RegRoot::LocalMachine, "System\\CurrentControlSet\\GPS Intermediate Driver\\Drivers", drivers),
            kRegSuccess);
  EXPECT_EQ(RegSetString(drivers, "CurrentDriver", "UBX \"7\" C:\\gps"), kRegSuccess);
  EXPECT_EQ(RegFlushKey(RegRoot::LocalMachine), kRegSuccess);

  const std::string text = ReadText(File());
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\", 0), 0u) << text;
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\RIL]\n"), std::string::npos);
  EXPECT_NE(text.find("\"StartOptions\"=dword:00000001\n"), std::string::npos);
  EXPECT_NE(text.find("\"SaveNMEAData\"=dword:abcdef12\n"), std::string::npos);
  EXPECT_NE(text.find("\"CurrentDriver\"=\"UBX \\\"7\\\" C:\\\\gps\"\n"), std::string::npos);

  OpenRegistryFile({});
  long result = 0;
  Dword(kRil, "StartOptions", &result);
  EXPECT_EQ(result, kRegFileNotFound);

  OpenRegistryFile(File());
  EXPECT_EQ(Dword(kRil, "StartOptions"), 1u);
  EXPECT_EQ(Dword(kRil, "SaveNMEAData"), 0xABCDEF12u);
  EXPECT_EQ(String("System\\CurrentControlSet\\GPS Intermediate Driver\\Drivers", "CurrentDriver"), "UBX \"7\" C:\\gps");
  EXPECT_TRUE(m_Capture.Lines().empty());
}

TEST_F(RegistryTest, NamesCompareWithoutCaseAndKeepTheirCase) {
  RegKey key;
  ASSERT_EQ(RegCreateKey(RegRoot::LocalMachine, kRil, key), kRegSuccess);
  ASSERT_EQ(RegSetDword(key, "StartOptions", 1), kRegSuccess);
  RegKey upper;
  ASSERT_EQ(RegCreateKey(RegRoot::LocalMachine, "SOFTWARE\\microsoft\\ril", upper), kRegSuccess);
  ASSERT_EQ(RegSetDword(upper, "STARTOPTIONS", 2), kRegSuccess);
  EXPECT_EQ(Dword("software\\MICROSOFT\\Ril", "startoptions"), 2u);

  const std::string text = ReadText(File());
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\RIL]\n\"StartOptions\"=dword:00000002\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("STARTOPTIONS"), std::string::npos);
  EXPECT_EQ(text.find("SOFTWARE"), std::string::npos);
}

TEST_F(RegistryTest, OpenQueryAndCloseReportThePlatformCodes) {
  RegKey key;
  EXPECT_EQ(RegOpenKey(RegRoot::LocalMachine, kRil, key), kRegFileNotFound);
  EXPECT_FALSE(key.open);
  ASSERT_EQ(RegCreateKey(RegRoot::LocalMachine, kRil, key), kRegSuccess);
  RegKey parent;
  EXPECT_EQ(RegOpenKey(RegRoot::LocalMachine, "Software\\Microsoft", parent), kRegSuccess);
  EXPECT_EQ(RegOpenKey(RegRoot::CurrentUser, kRil, parent), kRegFileNotFound);
  EXPECT_EQ(RegOpenKey(RegRoot::LocalMachine, "Software\\Micro", parent), kRegFileNotFound);

  uint32_t size = 4;
  uint32_t value = 0;
  EXPECT_EQ(RegQueryValue(key, "StartOptions", nullptr, &value, size), kRegFileNotFound);
  ASSERT_EQ(RegSetString(key, "CurrentDriver", "UBX"), kRegSuccess);
  size = 2;
  uint32_t type = 0;
  char text[8] = {};
  EXPECT_EQ(RegQueryValue(key, "CurrentDriver", &type, text, size), kRegMoreData);
  EXPECT_EQ(size, 4u);  // "UBX" and its terminator
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(text[0], '\0');
  size = 0;
  EXPECT_EQ(RegQueryValue(key, "CurrentDriver", nullptr, nullptr, size), kRegSuccess);
  EXPECT_EQ(size, 4u);

  EXPECT_EQ(RegCloseKey(key), kRegSuccess);
  EXPECT_EQ(RegCloseKey(key), kRegInvalidHandle);
  EXPECT_EQ(RegSetDword(key, "StartOptions", 1), kRegInvalidHandle);
  size = 4;
  EXPECT_EQ(RegQueryValue(key, "CurrentDriver", nullptr, &value, size), kRegInvalidHandle);
}

TEST_F(RegistryTest, CreatedKeysWithoutValuesArePersisted) {
  RegKey key;
  ASSERT_EQ(RegCreateKey(RegRoot::CurrentUser, "ControlPanel\\BackLight", key), kRegSuccess);
  OpenRegistryFile(File());
  EXPECT_EQ(RegOpenKey(RegRoot::CurrentUser, "ControlPanel\\BackLight", key), kRegSuccess);
  EXPECT_NE(ReadText(File()).find("[HKEY_CURRENT_USER\\ControlPanel\\BackLight]"), std::string::npos);
}

TEST_F(RegistryTest, ReadsAHandWrittenFile) {
  WriteText(File(),
            "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
            "\r\n"
            "; written by hand\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\RIL]\r\n"
            "@=\"ignored\"\r\n"
            "\"StartOptions\"=dword:0000000A\r\n"
            "\"Blob\"=hex:01,02,\\\r\n"
            "  03,04\r\n"
            "  \"ExportToUart\" = dword:00000001\r\n"
            "\r\n"
            "[-HKEY_LOCAL_MACHINE\\Software\\Old]\r\n"
            "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\GPS Intermediate Driver\\Drivers]\r\n"
            "\"CurrentDriver\"=\"OEM\\\\615\"\r\n");
  OpenRegistryFile(File());
  EXPECT_EQ(Dword(kRil, "StartOptions"), 10u);
  EXPECT_EQ(Dword(kRil, "ExportToUart"), 1u);
  EXPECT_EQ(String("System\\CurrentControlSet\\GPS Intermediate Driver\\Drivers", "CurrentDriver"), "OEM\\615");
  long result = 0;
  Dword(kRil, "Blob", &result);
  EXPECT_EQ(result, kRegFileNotFound);
  EXPECT_TRUE(m_Capture.Lines().empty());
}

TEST_F(RegistryTest, AMissingFileIsAnEmptyRegistryWithoutComplaint) {
  long result = 0;
  Dword(kRil, "StartOptions", &result);
  EXPECT_EQ(result, kRegFileNotFound);
  EXPECT_TRUE(m_Capture.Lines().empty());
  EXPECT_FALSE(std::filesystem::exists(File()));
}

TEST_F(RegistryTest, CorruptOrTruncatedFilesReadAsEmptyWithALogLine) {
  const std::string good =
      "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\RIL]\n"
      "\"StartOptions\"=dword:00000001\n\"CurrentDriver\"=\"UBX\"\n";
  const std::vector<std::string> damaged = {
      std::string("\x00\x01\x02garbage\xff\xfe", 12),
      "",
      good.substr(0, good.find("dword:") + 9),           // cut inside a dword
      good.substr(0, good.find("\"UBX\"") + 3),          // cut inside a string
      good.substr(0, good.find("Microsoft")),            // cut inside a section name
      "Windows Registry Editor Version 5.00\n\"StartOptions\"=dword:00000001\n",  // value outside a key
      "Windows Registry Editor Version 5.00\n[HKEY_NOWHERE\\Software]\n",
  };
  for (const std::string& text : damaged) {
    WriteText(File(), text);
    m_Capture.Clear();
    OpenRegistryFile(File());
    long result = 0;
    Dword(kRil, "StartOptions", &result);
    EXPECT_EQ(result, kRegFileNotFound) << text;
    EXPECT_EQ(m_Capture.Count("malformed, the registry starts empty"), 1u) << text;
    EXPECT_EQ(ReadText(File().string() + ".corrupt"), text);
  }
  // The store stays usable and writes a sound file again.
  RegKey key;
  ASSERT_EQ(RegCreateKey(RegRoot::LocalMachine, kRil, key), kRegSuccess);
  ASSERT_EQ(RegSetDword(key, "StartOptions", 3), kRegSuccess);
  OpenRegistryFile(File());
  EXPECT_EQ(Dword(kRil, "StartOptions"), 3u);
}

TEST_F(RegistryTest, AnUnreadableFileIsLoggedAndReadAsEmpty) {
  std::filesystem::create_directory(File());  // reading a folder fails
  OpenRegistryFile(File());
  long result = 0;
  Dword(kRil, "StartOptions", &result);
  EXPECT_EQ(result, kRegFileNotFound);
  EXPECT_FALSE(m_Capture.Lines().empty());
}

TEST_F(RegistryTest, AnInterruptedSaveLeavesAReadableFile) {
  RegKey key;
  ASSERT_EQ(RegCreateKey(RegRoot::LocalMachine, kRil, key), kRegSuccess);
  ASSERT_EQ(RegSetDword(key, "StartOptions", 1), kRegSuccess);
  const std::filesystem::path temp = File().string() + ".tmp";

  // A save that died after writing half its temporary file.
  WriteText(temp, "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MA");
  OpenRegistryFile(File());
  EXPECT_EQ(Dword(kRil, "StartOptions"), 1u);
  ASSERT_EQ(RegSetDword(key, "StartOptions", 2), kRegSuccess);
  EXPECT_FALSE(std::filesystem::exists(temp));
  OpenRegistryFile(File());
  EXPECT_EQ(Dword(kRil, "StartOptions"), 2u);

  // A save that cannot finish (the disk takes no more) leaves the previous file as it was.
  const std::string before = ReadText(File());
  EXPECT_EQ(navlume_test::ExitCodeInChild([&] {
              navlume_test::LimitFileSize(before.size() / 2);
              return RegSetDword(key, "StartOptions", 3) != kRegSuccess ? 0 : 1;
            }),
            0);
  EXPECT_EQ(ReadText(File()), before);
  for (const auto& entry : std::filesystem::directory_iterator(m_Folder.Path()))
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
  OpenRegistryFile(File());
  EXPECT_EQ(Dword(kRil, "StartOptions"), 2u);
}

TEST_F(RegistryTest, RefusesStringsTheFileCannotHold) {
  RegKey key;
  ASSERT_EQ(RegCreateKey(RegRoot::LocalMachine, kRil, key), kRegSuccess);
  EXPECT_NE(RegSetString(key, "CurrentDriver", "two\nlines"), kRegSuccess);
  EXPECT_NE(RegSetDword(key, "Bad\rName", 1), kRegSuccess);
  OpenRegistryFile(File());
  EXPECT_TRUE(m_Capture.Lines().empty());
}

TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
  constexpr int kThreads = 4;
  constexpr int kValues = 25;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([t] {
      RegKey key;
      RegCreateKey(RegRoot::LocalMachine, kRil, key);
      for (int i = 0; i < kValues; ++i) RegSetDword(key, "V" + std::to_string(t * kValues + i), static_cast<uint32_t>(i));
    });
  }
  for (auto& writer : writers) writer.join();
  OpenRegistryFile(File());
  for (int v = 0; v < kThreads * kValues; ++v) EXPECT_EQ(Dword(kRil, "v" + std::to_string(v)), static_cast<uint32_t>(v % kValues));
}

// Two programs on one root, here two processes with a store each, write
// different values at the same time: every change is made on the file as it
// is then, so nothing is lost, and a reader never sees an empty or torn file.
TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothingAndNeverShowATornFile) {
  constexpr int kWriters = 2;
  constexpr int kValues = 30;
  RegKey key;
  ASSERT_EQ(RegCreateKey(RegRoot::LocalMachine, kRil, key), kRegSuccess);
  ASSERT_EQ(RegSetString(key, "CurrentDriver", "UBX"), kRegSuccess);
  std::vector<pid_t> writers;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int i = 0; i < kValues; ++i)
        failures += RegSetDword(key, "W" + std::to_string(w) + "V" + std::to_string(i), static_cast<uint32_t>(i)) != kRegSuccess;
      _exit(failures);
    }
    writers.push_back(pid);
  }
  int torn = 0;
  for (size_t running = writers.size(); running > 0;) {
    const std::string text = ReadText(File());
    if (text.find("\"CurrentDriver\"=\"UBX\"\n") == std::string::npos || !text.ends_with("\n\n")) ++torn;
    for (pid_t& writer : writers) {
      int status = 0;
      if (writer <= 0 || waitpid(writer, &status, WNOHANG) != writer) continue;
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
      writer = -1;
      --running;
    }
  }
  EXPECT_EQ(torn, 0);
  OpenRegistryFile(File());
  for (int w = 0; w < kWriters; ++w)
    for (int i = 0; i < kValues; ++i)
      EXPECT_EQ(Dword(kRil, "W" + std::to_string(w) + "V" + std::to_string(i)), static_cast<uint32_t>(i)) << w << " " << i;
}

}  // namespace
