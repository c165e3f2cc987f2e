#pragma once
// Running a piece of a test in a forked child whose limits differ from the
// test's: files that cannot grow (a full disk, even for the superuser) or the
// rights of an ordinary user (the superuser ignores permission bits).

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <functional>

namespace navlume_test {

constexpr uid_t kUnprivilegedId = 65534;  // nobody

// `body`'s result as the child's exit code (0..255); -1 when the child did not exit.
inline int ExitCodeInChild(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(body());
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// In a child: no file may grow past `bytes`; a longer write fails as on a full disk.
inline void LimitFileSize(size_t bytes) {
  ::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{bytes, bytes};
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

// In a child: permission bits apply from now on; false when the rights cannot be dropped.
inline bool ActAsOrdinaryUser() {
  return ::geteuid() != 0 || (::setgid(kUnprivilegedId) == 0 && ::setuid(kUnprivilegedId) == 0);
}

}  // namespace navlume_test
