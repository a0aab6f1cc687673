// The socket a service manager hands the host when it starts it on the first connection
// (socket activation: the LISTEN_PID / LISTEN_FDS protocol of sd_listen_fds(3)).
#pragma once

#include "base/decoded.h"
#include "base/unique_fd.h"

namespace tovanel {

// Takes the one descriptor handed to this process, at 3, closed on exec. An invalid
// descriptor when none is handed here (no LISTEN_PID, another process's, LISTEN_FDS=0);
// a failure when the variables do not read or name more than one. LISTEN_PID,
// LISTEN_FDS and LISTEN_FDNAMES are gone from the environment afterwards, either way,
// so the tools the host runs never take the socket for theirs.
Decoded<UniqueFd> takeHandedSocket();

}  // namespace tovanel
