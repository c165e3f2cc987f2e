#include "sim/SimReceiver.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>

#include "platform/DeviceApi.h"
#include "platform/Time.h"

namespace sim {
namespace {

constexpr double kMsPerSecond = 1000;
// A stall longer than this is not caught up epoch by epoch.
constexpr double kMaxCatchUpMs = 10 * kMsPerSecond;
constexpr size_t kReadChunk = 4096;
// A host that left this much unread is not listening: what it missed is dropped
// rather than handed to it stale when it starts reading.
constexpr size_t kStaleBacklog = 3072;
// A vanishing receiver waits at least the grace (what it wrote last may not
// have reached the host's queue yet) and at most the limit for the host to
// read what it sent.
constexpr auto kVanishDrainGrace = std::chrono::milliseconds(50);
constexpr auto kVanishDrainLimit = std::chrono::seconds(2);
constexpr timespec kVanishDrainPoll{0, 1'000'000};
// Reads taken at a change of the host's settings for the bytes queued before it.
constexpr int kMaxQueuedReads = 16;

timespec RealTimeout(double scaledMs) {
  const double ns = std::max(0.0, scaledMs) * 1e6 * platform::TimeScale();
  const auto whole = static_cast<long long>(ns);
  return {static_cast<time_t>(whole / 1000000000), static_cast<long>(whole % 1000000000)};
}

}  // namespace

CSimReceiver::CSimReceiver(Scenario scenario, PowerMode power, uint32_t bootBaud)
    : m_Scenario(std::move(scenario)), m_PowerMode(power), m_BootBaud(bootBaud) {
  m_Line.baud = bootBaud;
  m_NextEpochMs = EpochPeriodMs();
}

double CSimReceiver::EpochPeriodMs() const { return kMsPerSecond / m_Scenario.rateHz; }

CSimReceiver::~CSimReceiver() { Stop(); }

bool CSimReceiver::Start() {
  if (m_Thread.joinable()) return true;
  if (!m_Terminal.Valid()) return false;
  if (!m_Terminal.ReportSettingChanges()) return false;
  fcntl(m_Terminal.MasterFd(), F_SETFL, fcntl(m_Terminal.MasterFd(), F_GETFL) | O_NONBLOCK);
  LineFormat hostTransmit;
  if (ReadHostTransmit(hostTransmit)) PublishHostTransmit(hostTransmit);
  m_WakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (m_WakeFd < 0) return false;
  {
    std::lock_guard lock(m_ClockMutex);
    m_AnchorReal = std::chrono::steady_clock::now();
    m_AnchorMs = 0;
    m_AnchorScale = platform::TimeScale();
  }
  if (m_PowerMode == PowerMode::AlwaysOn) m_bPowerRequest = true;
  if (m_PowerMode == PowerMode::Platform) {
    m_PowerListener = platform::AddGpsPowerListener([this](bool on) { SetPower(on); });
    m_bPowerRequest = platform::GpsPowerOn();
  }
  m_bStop = false;
  m_Thread = std::thread([this] { Run(); });
  return true;
}

void CSimReceiver::Stop() {
  if (m_PowerListener >= 0) {
    platform::RemoveGpsPowerListener(m_PowerListener);
    m_PowerListener = -1;
  }
  if (m_Thread.joinable()) {
    {
      std::lock_guard lock(m_LineMutex);
      m_bStop = true;
    }
    m_StateChanged.notify_all();
    Wake();
    m_Thread.join();
  }
  if (m_WakeFd >= 0) close(m_WakeFd);
  m_WakeFd = -1;
}

uint32_t CSimReceiver::BaudRate() const {
  std::lock_guard lock(m_LineMutex);
  return m_Line.baud;
}

LineFormat CSimReceiver::Format() const {
  std::lock_guard lock(m_LineMutex);
  return m_Line;
}

void CSimReceiver::SetLine(const LineFormat& format) {
  if (m_BootBaud == 0) return;
  std::lock_guard lock(m_LineMutex);
  m_Line = format;
}

void CSimReceiver::SetPower(bool on) {
  if (m_PowerMode == PowerMode::AlwaysOn) return;
  m_bPowerRequest = on;
  if (!m_Thread.joinable() || m_bVanished) return;
  Wake();
  // Switched when this returns: nothing more is sent after a power-off.
  std::unique_lock lock(m_LineMutex);
  m_StateChanged.wait(lock, [&] { return m_bPowered == on || m_bPowerRequest != on || m_bVanished || m_bStop; });
}

void CSimReceiver::Vanish() {
  m_bVanishRequest = true;
  if (m_Thread.joinable()) {
    Wake();
    // The caller can rely on the line being gone when this returns.
    std::unique_lock lock(m_LineMutex);
    m_StateChanged.wait(lock, [this] { return m_bVanished.load(); });
  } else {
    CloseMaster();
  }
}

void CSimReceiver::CloseMaster() {
  m_Terminal.CloseMaster();
  {
    std::lock_guard lock(m_LineMutex);
    m_bVanished = true;
    m_bFixed = false;
  }
  m_StateChanged.notify_all();
}

double CSimReceiver::NowMs() const {
  std::lock_guard lock(m_ClockMutex);
  const auto now = std::chrono::steady_clock::now();
  const double scale = platform::TimeScale();
  if (scale != m_AnchorScale) {
    m_AnchorMs += std::chrono::duration<double, std::milli>(now - m_AnchorReal).count() / m_AnchorScale;
    m_AnchorReal = now;
    m_AnchorScale = scale;
  }
  return m_AnchorMs + std::chrono::duration<double, std::milli>(now - m_AnchorReal).count() / scale;
}

uint64_t CSimReceiver::ElapsedMs() const { return static_cast<uint64_t>(NowMs()); }

void CSimReceiver::Wake() {
  if (m_WakeFd < 0) return;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(m_WakeFd, &one, sizeof one);
}

void CSimReceiver::Schedule(double atMs, std::function<void()> action) { m_Timers.emplace(atMs, std::move(action)); }

void CSimReceiver::RecordCommand(std::string text) {
  m_Recorder.AddCommand(static_cast<uint64_t>(NowMs()), std::move(text));
}

void CSimReceiver::ColdStart() {
  m_BootSeconds = NowMs() / kMsPerSecond;
  m_LastBoot = *m_BootSeconds;
  m_bFixed = false;
}

std::optional<double> CSimReceiver::LastBootSeconds() const {
  const double boot = m_LastBoot.load();
  return std::isnan(boot) ? std::nullopt : std::optional<double>(boot);
}

void CSimReceiver::ApplyPower(bool on) {
  m_Timers.clear();
  if (on) {
    m_bPowered = true;
    SetLine(LineFormat{m_BootBaud});
    ColdStart();
    OnPowerOn();
  } else {
    m_BootSeconds.reset();
    m_LastBoot = std::nan("");
    m_bFixed = false;
    // What the host has not read is gone with the power, as on a real line: a
    // host that opens the port after a power cycle must not read the fix from before it.
    m_Terminal.DropPendingInput();
  }
  {
    std::lock_guard lock(m_LineMutex);
    m_bPowered = on;
  }
  m_StateChanged.notify_all();
}

void CSimReceiver::Run() {
  bool masterUsable = true;
  while (!m_bStop) {
    if (m_bVanishRequest && !m_bVanished) CloseMaster();
    if (m_VanishBy && VanishDue()) {
      m_VanishBy.reset();
      CloseMaster();
    }
    if (m_bPowerRequest != m_bPowered) ApplyPower(m_bPowerRequest);
    RunTimers();
    const double next = m_Timers.empty() ? m_NextEpochMs : std::min(m_NextEpochMs, m_Timers.begin()->first);
    const timespec timeout = m_VanishBy ? kVanishDrainPoll : RealTimeout(next - NowMs());
    pollfd fds[2] = {{m_WakeFd, POLLIN, 0}, {-1, POLLIN, 0}};
    if (masterUsable && !m_bVanished) fds[1].fd = m_Terminal.MasterFd();
    if (ppoll(fds, 2, &timeout, nullptr) < 0 && errno != EINTR) break;
    if (fds[0].revents & POLLIN) {
      uint64_t count = 0;
      [[maybe_unused]] const ssize_t got = read(m_WakeFd, &count, sizeof count);
    }
    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) masterUsable = ReadHost();
  }
}

bool CSimReceiver::ReadHost() {
  std::string bytes;
  const int got = ReadHostPacket(bytes);
  if (got <= 0) return got == 0;
  LineFormat hostTransmit = HostTransmit();
  if (m_BootBaud != 0 && !ReadHostTransmit(hostTransmit)) return true;
  if (got == kHostData) {
    if (hostTransmit != HostTransmit()) PublishHostTransmit(hostTransmit);  // a host that turned the reports off
    TakeHostBytes(bytes, hostTransmit);
    return true;
  }
  // The host changed its settings (or flushed). A pseudo-terminal cannot tell
  // whether bytes still queued were written before or after the change; a
  // host changes its line once its bytes are out and then writes at the new
  // settings, so each queued byte is taken as sent with whichever of the two
  // settings the receiver listens at. The new settings count as seen once
  // the queue is empty.
  const LineFormat before = HostTransmit();
  bool usable = true;
  for (int read = 0; read < kMaxQueuedReads; ++read) {
    const int next = ReadHostPacket(bytes);
    if (next <= 0) {
      usable = next == 0;
      break;
    }
    if (next == kHostNotice) {
      if (m_BootBaud != 0) ReadHostTransmit(hostTransmit);
      continue;
    }
    TakeQueuedHostBytes(bytes, before, hostTransmit);
  }
  PublishHostTransmit(hostTransmit);
  return usable;
}

int CSimReceiver::ReadHostPacket(std::string& bytes) {
  char packet[kReadChunk + 1];
  ssize_t count = -1;
  do {
    count = read(m_Terminal.MasterFd(), packet, sizeof packet);
  } while (count < 0 && errno == EINTR);
  if (count < 0) return errno == EAGAIN ? kHostNothing : kHostGone;
  if (count == 0) return kHostGone;
  if (packet[0] != TIOCPKT_DATA) return kHostNotice;
  bytes.assign(packet + 1, static_cast<size_t>(count - 1));
  return kHostData;
}

bool CSimReceiver::ReadHostTransmit(LineFormat& hostTransmit) const {
  LineFormat hostReceive;
  return ReadHostFormats(m_Terminal.MasterFd(), hostReceive, hostTransmit);
}

void CSimReceiver::PublishHostTransmit(const LineFormat& hostTransmit) {
  {
    std::lock_guard lock(m_LineMutex);
    m_HostTransmit = hostTransmit;
  }
  m_StateChanged.notify_all();
}

LineFormat CSimReceiver::HostTransmit() const {
  std::lock_guard lock(m_LineMutex);
  return m_HostTransmit;
}

bool CSimReceiver::WaitForHostLine(const LineFormat& line, uint32_t ms) {
  std::unique_lock lock(m_LineMutex);
  return m_StateChanged.wait_for(lock, platform::ScaledDuration(ms), [&] { return m_HostTransmit == line; });
}

void CSimReceiver::TakeHostBytes(const std::string& bytes, const LineFormat& sentWith) {
  m_Recorder.AddBytes(static_cast<uint64_t>(NowMs()), bytes.data(), bytes.size());
  if (m_bPowered) OnHostBytes(m_BootBaud == 0 ? bytes : Resample(bytes, sentWith, Format()));
}

void CSimReceiver::TakeQueuedHostBytes(const std::string& bytes, const LineFormat& before, const LineFormat& after) {
  if (m_BootBaud == 0) {
    TakeHostBytes(bytes, after);
    return;
  }
  m_Recorder.AddBytes(static_cast<uint64_t>(NowMs()), bytes.data(), bytes.size());
  // Byte by byte while the receiver listens at one of the two settings: a
  // command among them may move the receiver to the other.
  size_t at = 0;
  for (; at < bytes.size() && m_bPowered; ++at) {
    const LineFormat receiver = Format();
    if (receiver != after && receiver != before) break;
    OnHostBytes(bytes.substr(at, 1));
  }
  if (at < bytes.size() && m_bPowered) OnHostBytes(Resample(bytes.substr(at), before, Format()));
}

bool CSimReceiver::VanishDue() const {
  const auto now = std::chrono::steady_clock::now();
  return now >= *m_VanishBy || (now >= m_VanishFrom && m_Terminal.PendingInput() == 0);
}

void CSimReceiver::RunTimers() {
  double now = NowMs();
  while (!m_Timers.empty() && m_Timers.begin()->first <= now) {
    auto action = std::move(m_Timers.begin()->second);
    m_Timers.erase(m_Timers.begin());
    action();
  }
  if (m_NextEpochMs <= now) {
    // A short stall is caught up second by second; after a long one (a
    // suspended process) the receiver resumes at the current second.
    const double period = EpochPeriodMs();
    if (now - m_NextEpochMs > kMaxCatchUpMs) m_NextEpochMs = std::floor(now / period) * period;
    EmitEpoch();
    m_NextEpochMs += period;
  }
}

void CSimReceiver::EmitEpoch() {
  const double t = m_NextEpochMs / kMsPerSecond;
  std::vector<Fault> faults;  // those that change this second's output
  for (; m_NextFault < m_Scenario.faults.size() && m_Scenario.faults[m_NextFault].at <= t; ++m_NextFault) {
    const Fault& fault = m_Scenario.faults[m_NextFault];
    if (fault.type == FaultType::Vanish) {
      // Gone once the host has read what was sent: the hang-up discards
      // unread input, and what the host saw must not depend on how soon it
      // was scheduled.
      ++m_NextFault;
      m_VanishFrom = std::chrono::steady_clock::now() + kVanishDrainGrace;
      m_VanishBy = std::chrono::steady_clock::now() + kVanishDrainLimit;
      return;
    }
    if (fault.type == FaultType::Silence) {
      m_SilentUntil = std::max(m_SilentUntil, fault.at + fault.duration);
    } else {
      faults.push_back(fault);
    }
  }
  if (m_bVanished || m_VanishBy || !m_bPowered) return;
  const Epoch epoch = ScenarioEpoch(m_Scenario, t, m_BootSeconds);
  m_bFixed = epoch.Fixed();
  if (t < m_SilentUntil) return;
  std::string output = EpochOutput(epoch);
  for (const Fault& fault : faults) output = ApplyFault(fault, std::move(output));
  Send(output);
  ++m_EpochCount;
}

std::string CSimReceiver::ApplyFault(const Fault& fault, std::string output) {
  switch (fault.type) {
    case FaultType::BadChecksum:
      // Every sentence of the second gets a checksum that does not match.
      for (size_t star = output.find('*'); star != std::string::npos; star = output.find('*', star + 1)) {
        if (star + 1 < output.size()) output[star + 1] = output[star + 1] == '0' ? '1' : '0';
      }
      break;
    case FaultType::Junk:
      for (uint32_t i = 0; i < fault.bytes; ++i) {
        m_JunkSeed = m_JunkSeed * 1103515245u + 12345u;
        output.push_back(static_cast<char>((m_JunkSeed >> 16) & 0xFF));
      }
      break;
    case FaultType::CutLine: {
      // The first sentence stops half-way, without its end of line.
      const size_t end = output.find('\n');
      if (end != std::string::npos) output.erase(end / 2, end + 1 - end / 2);
      break;
    }
    default:
      break;
  }
  return output;
}

void CSimReceiver::Send(const std::string& bytes) {
  if (!m_bPowered || m_bVanished || bytes.empty()) return;
  std::string out = bytes;
  if (m_BootBaud != 0) {
    LineFormat hostReceive, hostTransmit;
    if (!ReadHostFormats(m_Terminal.MasterFd(), hostReceive, hostTransmit)) return;
    out = Resample(bytes, Format(), hostReceive);
  }
  if (m_Terminal.PendingInput() > kStaleBacklog) m_Terminal.DropPendingInput();
  size_t done = 0;
  while (done < out.size()) {
    const ssize_t written = write(m_Terminal.MasterFd(), out.data() + done, out.size() - done);
    if (written > 0) {
      done += static_cast<size_t>(written);
    } else if (written < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // the line is full (nobody reads) or gone: the rest is lost, as on a wire
    }
  }
}

}  // namespace sim
