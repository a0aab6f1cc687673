// The listening end of the channel socket. Claiming a path makes sure that one host at
// a time serves it: a lock file beside the socket is held for the listener's life, a
// socket left behind by a host that died is replaced, and a live one is never touched.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "base/decoded.h"
#include "base/unique_fd.h"

namespace tovanel {

// The socket path used when none is given: $XDG_RUNTIME_DIR/com.tovanel.printing/
// channel.sock, or /tmp/com.tovanel.printing-<uid>/channel.sock without that variable.
std::string defaultSocketPath();

class SocketListener {
 public:
  enum class Folder {
    asFound,   // created with mode 0700 when missing, otherwise left as it is
    private_,  // also must belong to this user, and is made 0700 (the default folder)
  };

  // Listens on `path` with mode 0600, non-blocking. Fails with a reason when another
  // host serves the path, the path is something else, or the folder is not usable.
  static Decoded<SocketListener> claim(const std::string& path, Folder folder);

  // Serves a socket that a service manager made and handed over: it must be a listening
  // Unix stream socket bound to a path. The lock file beside that path is taken as by
  // claim(); the socket file stays when the listener goes, for it is the manager's.
  static Decoded<SocketListener> adopt(UniqueFd socket);

  SocketListener(SocketListener&&) noexcept;
  SocketListener& operator=(SocketListener&&) = delete;
  SocketListener(const SocketListener&) = delete;
  // Removes the lock file, and the socket file when the listener bound it.
  ~SocketListener();

  int fd() const { return socket_.get(); }
  const std::string& path() const { return path_; }

 private:
  SocketListener() = default;

  std::string path_;
  UniqueFd socket_;
  UniqueFd lock_;
  bool bound_ = false;  // the socket file at `path_` is ours to remove
};

// The uid of the process at the other end of a connected Unix socket.
std::optional<uid_t> peerUid(int fd);

// Whether a peer of that uid may use this process's socket: its own user and root.
bool peerAllowed(uid_t uid);

}  // namespace tovanel
