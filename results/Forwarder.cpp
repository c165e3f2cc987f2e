#include "results/Forwarder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/Debug.h"
#include "platform/DeviceRoot.h"
#include "platform/Time.h"
#include "prodtest/JournalReader.h"
#include "prodtest/ResultJournal.h"
#include "results/ResultRow.h"

namespace results {
namespace {

constexpr size_t kReadBlock = 1 << 20;  // bytes read from a journal at a time
constexpr std::string_view kLineEnd = "\r\n";
constexpr const char* kSendingAgain = "results reach the database again";

bool IsHeaderLine(std::string_view lineText) {
  std::vector<std::string_view> fields;
  SplitJournalFields(lineText, fields);
  return IsJournalHeader(fields);
}

// The whole lines at the start of `bytes`, at most `most` result lines of them.
struct LineRun {
  size_t bytes = 0;
  uint64_t results = 0;
  std::string_view lastHeader;  // empty when the run holds none
};

// `startsTheFile`: `bytes` are the journal's first, whose first line may carry a byte-order mark.
LineRun WholeLines(std::string_view bytes, uint64_t most, bool blockFull, bool startsTheFile) {
  LineRun run;
  while (run.results < most) {
    size_t end = bytes.find('\n', run.bytes);
    if (end == std::string_view::npos) {
      // A line longer than a whole block is passed on as it is; the database's reader refuses it.
      if (!blockFull || run.bytes != 0) break;
      end = bytes.size() - 1;
    }
    const std::string_view line =
        JournalLineText(bytes.substr(run.bytes, end - run.bytes), startsTheFile && run.bytes == 0);
    if (IsHeaderLine(line)) {
      run.lastHeader = line;
    } else if (!line.empty()) {
      ++run.results;
    }
    run.bytes = end + 1;
  }
  return run;
}

std::string ReadAt(int fd, uint64_t offset, size_t most) {
  std::string bytes(most, '\0');
  const ssize_t got = ::pread(fd, bytes.data(), most, static_cast<off_t>(offset));
  bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return bytes;
}

// Result lines in the whole lines from `offset` to the end of the file.
uint64_t CountResultLines(int fd, uint64_t offset) {
  uint64_t results = 0;
  for (std::string block = ReadAt(fd, offset, kReadBlock); !block.empty(); block = ReadAt(fd, offset, kReadBlock)) {
    const LineRun run = WholeLines(block, UINT64_MAX, block.size() == kReadBlock, offset == 0);
    if (run.bytes == 0) break;
    results += run.results;
    offset += run.bytes;
  }
  return results;
}

struct FileCloser {
  int fd;
  ~FileCloser() { ::close(fd); }
};

}  // namespace

uint32_t ServerWaitMs(uint32_t ms) {
  const double least = static_cast<double>(kLeastServerWait.count()) / platform::TimeScale();
  return std::max(ms, static_cast<uint32_t>(std::min(least, static_cast<double>(platform::kInfinite - 1))));
}

CResultForwarder::CResultForwarder(std::string conninfo, const std::filesystem::path& deviceRoot,
                                   ProblemHandler onProblem)
    : m_Database(std::move(conninfo), ServerWaitMs(kForwardAttemptMs)),
      m_ProgressFile(deviceRoot / kForwardProgressFile),
      m_OnProblem(std::move(onProblem)) {}

CResultForwarder::~CResultForwarder() { Stop(); }

void CResultForwarder::Start() {
  if (!m_Thread.joinable()) m_Thread = std::thread([this] { Run(); });
}

void CResultForwarder::OnResultJournalled(const std::string&, const std::string&) {
  std::lock_guard lock(m_Lock);
  ++m_Requested;
  ++m_Waiting;
  m_Changed.notify_all();
}

uint64_t CResultForwarder::WaitUntilSent(uint32_t ms) {
  std::unique_lock lock(m_Lock);
  const uint64_t target = m_Requested;
  m_Changed.wait_for(lock, platform::ScaledDuration(ms),
                     [&] { return m_bStopping || (m_Served >= target && m_Waiting == 0); });
  return m_Waiting;
}

uint64_t CResultForwarder::Waiting() const {
  std::lock_guard lock(m_Lock);
  return m_Waiting;
}

void CResultForwarder::Stop() {
  {
    std::lock_guard lock(m_Lock);
    m_bStopping = true;
    m_Changed.notify_all();
  }
  if (m_Thread.joinable()) m_Thread.join();
}

void CResultForwarder::Run() {
  m_Progress = LoadForwardProgress(m_ProgressFile);
  uint32_t retryMs = kFirstRetryMs;
  std::unique_lock lock(m_Lock);
  while (!m_bStopping) {
    const uint64_t requested = m_Requested;
    lock.unlock();
    uint64_t waiting = 0;
    bool sent = true;  // after a failed attempt the server is away: the other journal is only counted
    for (const std::string_view path : ResultJournalPaths())
      sent = ForwardJournal(std::string(path), sent, waiting) && sent;
    lock.lock();
    m_Waiting = waiting;
    m_Served = requested;
    m_Changed.notify_all();
    if (sent) {
      retryMs = kFirstRetryMs;
      m_Changed.wait(lock, [&] { return m_bStopping || m_Requested != requested; });
    } else {
      m_Changed.wait_for(lock, platform::ScaledDuration(retryMs), [&] { return m_bStopping; });
      retryMs = std::min(retryMs * 2, kLongestRetryMs);
    }
  }
}

bool CResultForwarder::Stopping() const {
  std::lock_guard lock(m_Lock);
  return m_bStopping;
}

bool CResultForwarder::ForwardJournal(const std::string& handheldPath, bool send, uint64_t& waiting) {
  const int fd = ::open(platform::MapHandheldPath(handheldPath).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return true;  // no journal there (a card out keeps its progress for when it comes back)
  const FileCloser closer{fd};
  JournalProgress journal = m_Progress[handheldPath];
  JournalIdentity identity;
  struct stat status {};
  if (!ReadJournalIdentity(fd, journal.identity.fingerprintBytes, identity) || ::fstat(fd, &status) != 0)
    return true;
  if (identity != journal.identity || static_cast<uint64_t>(status.st_size) < journal.confirmedOffset) {
    if (journal.confirmedOffset != 0)
      platform::DebugPrint("[Results] %s is not the journal sent so far (replaced, cut short or another card): "
                           "sending it again from its start\r\n", handheldPath.c_str());
    journal = JournalProgress{};
  }
  while (true) {
    if (!send || Stopping()) {
      const uint64_t unsent = CountResultLines(fd, journal.confirmedOffset);
      waiting += unsent;
      return unsent == 0;
    }
    const std::string block = ReadAt(fd, journal.confirmedOffset, kReadBlock);
    const bool startsTheFile = journal.confirmedOffset == 0;
    const LineRun run = WholeLines(block, kLinesPerBatch, block.size() == kReadBlock, startsTheFile);
    if (run.bytes == 0) return true;
    const std::string_view lines(block.data(), run.bytes);
    std::string text;
    if (!journal.header.empty() && !IsHeaderLine(JournalLineText(lines.substr(0, lines.find('\n')), startsTheFile)))
      text.append(journal.header).append(kLineEnd);
    text.append(lines);
    if (const auto error = Send(handheldPath, text)) {
      Report(error);
      waiting += CountResultLines(fd, journal.confirmedOffset);
      return false;
    }
    Report(std::nullopt);
    journal.confirmedOffset += run.bytes;
    journal.confirmedLines += run.results;
    if (!run.lastHeader.empty()) journal.header = run.lastHeader;
    ReadJournalIdentity(fd, kFingerprintBytes, journal.identity);
    m_Progress[handheldPath] = journal;
    if (const int error = SaveForwardProgress(m_ProgressFile, m_Progress); error != 0)
      platform::DebugPrint("[Results] cannot save %s (errno %d): its lines may be sent again\r\n",
                           m_ProgressFile.string().c_str(), error);
  }
}

void CResultForwarder::Report(const std::optional<DatabaseError>& error) {
  const std::optional<DatabaseFault> fault = error ? std::optional(error->fault) : std::nullopt;
  if (fault == m_LastFault) return;
  m_LastFault = fault;
  const std::string message = error ? "results wait for the database: " + error->message : kSendingAgain;
  if (m_OnProblem) {
    m_OnProblem(message);
  } else {
    platform::DebugPrint("[Results] %s\r\n", message.c_str());
  }
}

std::optional<DatabaseError> CResultForwarder::Send(const std::string& handheldPath, std::string_view text) {
  std::vector<ResultRow> rows;
  const auto refuse = [&handheldPath](const std::string& why) {
    platform::DebugPrint("[Results] a line of %s cannot be stored and is left out: %s\r\n", handheldPath.c_str(),
                         why.c_str());
  };
  // A line of the unit's own journal without a station of its own is this station's, as journal push stores it.
  CJournalReader reader(
      StationName(),
      [&](const JournalResult& result) {
        std::string why;
        if (auto row = ResultRowOf(result, why)) {
          rows.push_back(std::move(*row));
        } else {
          refuse(why);
        }
      },
      [&](uint64_t, const std::string& why) { refuse(why); });
  reader.Feed(text.data(), text.size());
  reader.Finish();
  if (rows.empty()) return std::nullopt;
  return m_Database.Insert(rows).error;
}

}  // namespace results
