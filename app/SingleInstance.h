#pragma once
// One copy of the program at a time: a lock file held with flock for the
// whole run, and a local socket on which the running copy says which sheet
// caption it shows and raises its sheet on request. Both live in
// $XDG_RUNTIME_DIR, else in the device root.

#include <QObject>
#include <filesystem>
#include <string>

class QLocalServer;

enum class InstanceClaim {
  Owner,      // this is the only copy
  OtherCopy,  // another copy holds the lock
  Failed,     // the lock file cannot be made
};

class CSingleInstance : public QObject {
  Q_OBJECT

 public:
  explicit CSingleInstance(std::filesystem::path folder);
  ~CSingleInstance() override;  // releases the lock

  InstanceClaim Claim();
  // Why the last Claim failed, for the user: what could not be done with which file, and the system's reason.
  const std::string& ClaimFailure() const { return m_ClaimFailure; }
  // The owner answers other copies from now on (on the UI event loop).
  bool Listen();
  // Another copy runs: prints the four FindWindow lines, asks that copy to
  // raise its sheet and prints the already-running line (only when it shows one).
  void ReportOtherCopy() const;

  static std::filesystem::path DefaultFolder(const std::filesystem::path& deviceRoot);

 private:
  void Answer();

  std::filesystem::path m_Folder;
  int m_LockFd = -1;
  std::string m_ClaimFailure;
  QLocalServer* m_pServer = nullptr;
};
