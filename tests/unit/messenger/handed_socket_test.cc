// Socket activation: which handed descriptors the host serves, and the environment it leaves.
#include "messenger/handed_socket.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include "messenger/socket_listener.h"
#include "support/temporary_folder.h"

namespace tovanel {
namespace {

// Tests that only a listening Unix socket handed to this process is served, its variables gone.
TEST(HandedSocket, ServesOnlyAListeningUnixStreamSocketMeantForThisProcess) {
  using Outcome = std::pair<std::string, std::string>;  // the path served, or why none is
  const Outcome refused = {"", "the handed socket is not a listening Unix stream socket"};
  const struct {
    const char* name;
    bool mine = true, listens = true;  // mine: LISTEN_PID is this process's
    int family = AF_UNIX, type = SOCK_STREAM;
    Outcome expect;
  } rows[] = {
      {.name = "another's", .mine = false, .expect = {"", ""}},
      {.name = "served", .expect = {"/channel.sock", ""}},
      {.name = "not listening", .listens = false, .expect = refused},
      {.name = "datagram", .listens = false, .type = SOCK_DGRAM, .expect = refused},
      {.name = "TCP", .family = AF_INET, .expect = refused},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const testing::TemporaryFolder folder;
    const UniqueFd socket(::socket(row.family, row.type, 0));
    sockaddr_un address = {.sun_family = AF_UNIX, .sun_path = {}};
    folder.file("channel.sock").copy(address.sun_path, sizeof address.sun_path - 1);
    if (row.family == AF_UNIX)
      ::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    if (row.listens)
      ::listen(socket.get(), 4);
    ::dup2(socket.get(), 3);
    ::setenv("LISTEN_PID", std::to_string(row.mine ? ::getpid() : 1).c_str(), 1);
    ::setenv("LISTEN_FDS", "1", 1);
    ::setenv("LISTEN_FDNAMES", "channel", 1);
    auto handed = takeHandedSocket();
    Outcome outcome = {"", handed.error};
    if (handed && handed.value->valid()) {
      EXPECT_EQ(::fcntl(3, F_GETFD), FD_CLOEXEC);
      const auto listener = SocketListener::adopt(std::move(*handed.value));
      outcome = {listener ? listener.value->path().substr(folder.path().size()) : "",
                 listener.error};
    }
    EXPECT_EQ(outcome, row.expect);
    EXPECT_FALSE(getenv("LISTEN_PID") || getenv("LISTEN_FDS") || getenv("LISTEN_FDNAMES"));
  }
}

}  // namespace
}  // namespace tovanel
