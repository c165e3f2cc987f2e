#include "app/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "app/PropertySheet.h"
#include "platform/Debug.h"

namespace {

constexpr const char* kLockFile = "navlume.lock";
constexpr const char* kSocketFile = "navlume.socket";
constexpr const char* kCaptionRequest = "caption\n";
constexpr const char* kRaiseRequest = "raise\n";
constexpr const char* kRaised = "raised\n";
// A copy that does not answer in this time is still starting (real time: the
// other copy may run at any time scale).
constexpr int kAnswerTimeoutMs = 3000;

struct CaptionLine {
  const char* caption;
  const char* format;
};
constexpr std::array<CaptionLine, 4> kCaptionLines{{
    {"A-GPS", "[hAGPS]FindWindow : %x\r\n"},
    {"U-BLOX", "[hUBLOX]FindWindow : %x\r\n"},
    {"Navlume", "[hNavlume]FindWindow : %x\r\n"},
    {"OEM615", "[hOEM615]FindWindow : %x\r\n"},
}};

QByteArray ReadLine(QLocalSocket& socket) {
  while (!socket.canReadLine())
    if (!socket.waitForReadyRead(kAnswerTimeoutMs)) return {};
  return socket.readLine().trimmed();
}

}  // namespace

CSingleInstance::CSingleInstance(std::filesystem::path folder) : m_Folder(std::move(folder)) {}

CSingleInstance::~CSingleInstance() {
  if (m_pServer) m_pServer->close();
  if (m_LockFd >= 0) ::close(m_LockFd);
}

std::filesystem::path CSingleInstance::DefaultFolder(const std::filesystem::path& deviceRoot) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime != nullptr && *runtime != '\0' ? std::filesystem::path(runtime) : deviceRoot;
}

InstanceClaim CSingleInstance::Claim() {
  const std::string lockPath = (m_Folder / kLockFile).string();
  m_LockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (m_LockFd < 0) {
    m_ClaimFailure = "cannot create the single-instance lock " + lockPath + ": " + std::strerror(errno);
    return InstanceClaim::Failed;
  }
  int result;
  do {
    result = ::flock(m_LockFd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result == 0) return InstanceClaim::Owner;
  const int error = errno;
  ::close(m_LockFd);
  m_LockFd = -1;
  if (error == EWOULDBLOCK) return InstanceClaim::OtherCopy;
  m_ClaimFailure = "cannot lock the single-instance lock " + lockPath + ": " + std::strerror(error);
  return InstanceClaim::Failed;
}

bool CSingleInstance::Listen() {
  const QString path = QString::fromStdString((m_Folder / kSocketFile).string());
  QLocalServer::removeServer(path);  // a socket left by a copy that died; the lock says it is gone
  m_pServer = new QLocalServer(this);
  m_pServer->setSocketOptions(QLocalServer::UserAccessOption);
  connect(m_pServer, &QLocalServer::newConnection, this, &CSingleInstance::Answer);
  return m_pServer->listen(path);
}

void CSingleInstance::Answer() {
  while (QLocalSocket* socket = m_pServer->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, socket, [socket] {
      while (socket->canReadLine()) {
        const QByteArray request = socket->readLine();
        CPropertySheet* sheet = CurrentSheet();
        if (request == kCaptionRequest) {
          const QByteArray caption = sheet ? sheet->Caption().toUtf8() : QByteArray();
          socket->write(caption + " " + QByteArray::number(sheet ? ::getpid() : 0) + "\n");
        } else if (request == kRaiseRequest) {
          if (sheet) sheet->BringToFront();
          socket->write(kRaised);
        }
      }
    });
  }
}

void CSingleInstance::ReportOtherCopy() const {
  QLocalSocket socket;
  QByteArray caption;
  unsigned handle = 0;
  socket.connectToServer(QString::fromStdString((m_Folder / kSocketFile).string()));
  if (socket.waitForConnected(kAnswerTimeoutMs)) {
    socket.write(kCaptionRequest);
    const QByteArray answer = ReadLine(socket);
    const qsizetype blank = answer.lastIndexOf(' ');
    if (blank >= 0) {
      caption = answer.left(blank);
      handle = answer.mid(blank + 1).toUInt();
    } else {
      handle = 0;
    }
  }
  const CaptionLine* found = nullptr;
  for (const CaptionLine& line : kCaptionLines) {
    const bool shown = handle != 0 && caption == line.caption;
    platform::DebugPrint(line.format, shown ? handle : 0u);
    if (shown && found == nullptr) found = &line;
  }
  if (found == nullptr) return;
  socket.write(kRaiseRequest);
  ReadLine(socket);
  platform::DebugPrint("[Navlume] Navlume are excuting already! Skip this time!\r\n");
}
