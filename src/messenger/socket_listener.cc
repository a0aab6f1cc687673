#include "messenger/socket_listener.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace tovanel {
namespace {

using Claimed = Decoded<SocketListener>;

std::string systemError(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

std::optional<sockaddr_un> socketAddress(const std::string& path) {
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path)
    return std::nullopt;
  std::memcpy(address.sun_path, path.data(), path.size());
  return address;
}

// Creates missing folders with mode 0700; checks the default folder's owner and mode.
std::string prepareFolder(const std::filesystem::path& folder, SocketListener::Folder kind) {
  std::error_code error;
  if (!std::filesystem::exists(folder, error)) {
    std::filesystem::path partial;
    for (const auto& part : folder) {
      partial /= part;
      if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
        return systemError("cannot create the folder " + partial.string());
    }
  }
  // The default folder may not be a link someone else planted; a folder that the user
  // names may be reached through links.
  struct stat status;
  const bool privateFolder = kind == SocketListener::Folder::private_;
  if ((privateFolder ? ::lstat(folder.c_str(), &status) : ::stat(folder.c_str(), &status)) != 0)
    return systemError("cannot use the folder " + folder.string());
  if (!S_ISDIR(status.st_mode))
    return folder.string() + " is not a folder";
  if (privateFolder) {
    if (status.st_uid != ::geteuid()) {
      return "the folder " + folder.string() + " belongs to uid " + std::to_string(status.st_uid) +
             ", not to this user";
    }
    if ((status.st_mode & 0777) != 0700 && ::chmod(folder.c_str(), 0700) != 0)
      return systemError("cannot make " + folder.string() + " private");
  }
  return {};
}

// Takes the lock file beside the socket without waiting. Checks that the file locked is
// still the one at that path: a host that is leaving removes it while holding the lock.
Decoded<UniqueFd> takeLock(const std::string& lockPath, const std::string& socketPath) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    UniqueFd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!lock.valid())
      return Decoded<UniqueFd>::failure(systemError("cannot open the lock file " + lockPath));
    if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
      if (errno == EWOULDBLOCK) {
        return Decoded<UniqueFd>::failure("another printing host is already listening on " +
                                          socketPath);
      }
      return Decoded<UniqueFd>::failure(systemError("cannot lock " + lockPath));
    }
    struct stat locked;
    struct stat atPath;
    if (::fstat(lock.get(), &locked) == 0 && ::stat(lockPath.c_str(), &atPath) == 0 &&
        locked.st_dev == atPath.st_dev && locked.st_ino == atPath.st_ino) {
      return Decoded<UniqueFd>::success(std::move(lock));
    }
  }
  return Decoded<UniqueFd>::failure("the lock file " + lockPath + " keeps changing");
}

// Removes a socket that no process listens on any more; refuses anything else.
std::string clearStaleSocket(const std::string& path, const sockaddr_un& address) {
  struct stat status;
  if (::lstat(path.c_str(), &status) != 0)
    return errno == ENOENT ? std::string() : systemError("cannot look at " + path);
  if (!S_ISSOCK(status.st_mode))
    return path + " exists and is not a socket";
  UniqueFd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!probe.valid())
    return systemError("socket");
  if (::connect(probe.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
    return "another program is listening on " + path;
  if (errno != ECONNREFUSED)
    return systemError("cannot check the socket " + path);
  if (::unlink(path.c_str()) != 0)
    return systemError("cannot remove the stale socket " + path);
  return {};
}

}  // namespace

std::string defaultSocketPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime)
    return std::string(runtime) + "/com.tovanel.printing/channel.sock";
  return "/tmp/com.tovanel.printing-" + std::to_string(::geteuid()) + "/channel.sock";
}

Claimed SocketListener::claim(const std::string& path, Folder folder) {
  const auto address = socketAddress(path);
  if (!address) {
    return Claimed::failure("the socket path must have 1 to " +
                            std::to_string(sizeof(sockaddr_un::sun_path) - 1) + " bytes");
  }
  const auto parent = std::filesystem::path(path).parent_path();
  if (auto problem = prepareFolder(parent.empty() ? "." : parent, folder); !problem.empty())
    return Claimed::failure(problem);

  SocketListener listener;
  auto lock = takeLock(path + ".lock", path);
  if (!lock)
    return Claimed::failure(lock.error);
  listener.lock_ = std::move(*lock.value);
  listener.path_ = path;  // from here on, leaving removes the lock file

  if (auto problem = clearStaleSocket(path, *address); !problem.empty())
    return Claimed::failure(problem);
  listener.socket_.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!listener.socket_.valid())
    return Claimed::failure(systemError("socket"));
  // The mask makes the socket 0600 from its first moment; chmod makes sure of it.
  const mode_t previousMask = ::umask(0177);
  const int bound =
      ::bind(listener.socket_.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address);
  ::umask(previousMask);
  if (bound != 0)
    return Claimed::failure(systemError("cannot listen on " + path));
  listener.bound_ = true;
  if (::chmod(path.c_str(), 0600) != 0 || ::listen(listener.socket_.get(), 64) != 0)
    return Claimed::failure(systemError("cannot listen on " + path));
  return Claimed::success(std::move(listener));
}

Claimed SocketListener::adopt(UniqueFd socket) {
  const auto option = [&socket](int name) {
    int value = 0;
    socklen_t size = sizeof value;
    return ::getsockopt(socket.get(), SOL_SOCKET, name, &value, &size) == 0 ? value : -1;
  };
  if (option(SO_DOMAIN) != AF_UNIX || option(SO_TYPE) != SOCK_STREAM ||
      option(SO_ACCEPTCONN) != 1) {
    return Claimed::failure("the handed socket is not a listening Unix stream socket");
  }
  sockaddr_un address = {};
  socklen_t size = sizeof address;
  if (::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0)
    return Claimed::failure(systemError("cannot read the handed socket's path"));
  const size_t length = size > offsetof(sockaddr_un, sun_path)
                            ? ::strnlen(address.sun_path, size - offsetof(sockaddr_un, sun_path))
                            : 0;
  if (length == 0)
    return Claimed::failure("the handed socket has no path for its lock file to sit beside");
  // One accept per connection, never a wait: the run loop serves everything else too.
  const int flags = ::fcntl(socket.get(), F_GETFL);
  if (flags < 0 || ::fcntl(socket.get(), F_SETFL, flags | O_NONBLOCK) != 0)
    return Claimed::failure(systemError("cannot use the handed socket"));

  SocketListener listener;
  const std::string path(address.sun_path, length);
  auto lock = takeLock(path + ".lock", path);
  if (!lock)
    return Claimed::failure(lock.error);
  listener.lock_ = std::move(*lock.value);
  listener.path_ = path;
  listener.socket_ = std::move(socket);
  return Claimed::success(std::move(listener));
}

SocketListener::SocketListener(SocketListener&& other) noexcept
    : path_(std::move(other.path_)),
      socket_(std::move(other.socket_)),
      lock_(std::move(other.lock_)),
      bound_(other.bound_) {
  other.path_.clear();
}

SocketListener::~SocketListener() {
  if (path_.empty())
    return;
  if (bound_)
    ::unlink(path_.c_str());
  ::unlink((path_ + ".lock").c_str());
}

std::optional<uid_t> peerUid(int fd) {
  ucred credentials = {};
  socklen_t size = sizeof credentials;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
    return std::nullopt;
  return credentials.uid;
}

bool peerAllowed(uid_t uid) {
  return uid == ::geteuid() || uid == 0;
}

}  // namespace tovanel
