#pragma once
// The forwarder: a thread of its own that sends the journal's lines to the
// database after the station has written them. The station's call only wakes
// it; the thread reads each journal from where the server last confirmed it
// (ForwardProgress), inserts the whole lines that follow in batches and saves
// the new offset only once the server has confirmed the batch. A failed
// attempt is retried after a capped backoff; each attempt is bounded in time,
// so a server that is down, slow or stopped never holds a test or a close.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "prodtest/ResultListener.h"
#include "results/ForwardProgress.h"
#include "results/ResultsDatabase.h"

namespace results {

// The first wait after a failed attempt, doubled after each failure up to the cap (system ms).
inline constexpr uint32_t kFirstRetryMs = 1000;
inline constexpr uint32_t kLongestRetryMs = 60000;
inline constexpr size_t kLinesPerBatch = 500;
// The most one attempt (connecting, or one insert) may take, so that a close waits no longer (system ms).
inline constexpr uint32_t kForwardAttemptMs = 3000;
// A wait on the server never lasts less real time than this, however fast the
// simulated seconds run: a round trip to a database does not shrink with them.
inline constexpr std::chrono::milliseconds kLeastServerWait{1000};
// `ms` system milliseconds, lengthened to kLeastServerWait at the current time scale.
uint32_t ServerWaitMs(uint32_t ms);

class CResultForwarder : public CResultListener {
 public:
  // Told once when sending starts failing for a new kind of cause (the
  // cause, never the password) and once when the database takes results
  // again; on the forwarder's thread. Without one, the log is told.
  using ProblemHandler = std::function<void(const std::string& message)>;

  // `conninfo`: a libpq connection string or URI; the progress file lies in `deviceRoot`.
  CResultForwarder(std::string conninfo, const std::filesystem::path& deviceRoot, ProblemHandler onProblem);
  ~CResultForwarder() override;  // stops and joins the thread
  CResultForwarder(const CResultForwarder&) = delete;
  CResultForwarder& operator=(const CResultForwarder&) = delete;

  // Starts the thread; its first pass sends what earlier runs left waiting.
  void Start();
  // Returns at once: the thread is woken and does the sending.
  void OnResultJournalled(const std::string& port, const std::string& journalPath) override;
  // Waits at most `ms` system milliseconds for every result journalled so far
  // to be confirmed; the number of results that still wait.
  uint64_t WaitUntilSent(uint32_t ms);
  // Result lines in the journals that the database has not confirmed yet.
  uint64_t Waiting() const;
  // Ends the thread; an attempt under way ends within its own time-out.
  void Stop();

 private:
  void Run();
  // Sends what follows the confirmed offset of one journal (when `send`; else
  // only counts it) and adds the result lines still unsent to `waiting`;
  // false when some are.
  bool ForwardJournal(const std::string& handheldPath, bool send, uint64_t& waiting);
  bool Stopping() const;
  // None when the server confirmed every line of `text` (a journal's header and lines), else why not.
  std::optional<DatabaseError> Send(const std::string& handheldPath, std::string_view text);
  // Says what changed since the last attempt: a new kind of failure, or sending again (none).
  void Report(const std::optional<DatabaseError>& error);

  CResultsDatabase m_Database;  // the thread's own
  const std::filesystem::path m_ProgressFile;
  const ProblemHandler m_OnProblem;
  ForwardProgress m_Progress;  // the thread's own
  std::optional<DatabaseFault> m_LastFault;  // the thread's own; none while sending works

  mutable std::mutex m_Lock;
  std::condition_variable m_Changed;
  bool m_bStopping = false;
  uint64_t m_Requested = 1;  // passes asked for: the first one sends what earlier runs left
  uint64_t m_Served = 0;     // wake-ups that a finished pass has covered
  uint64_t m_Waiting = 0;
  std::thread m_Thread;
};

}  // namespace results
