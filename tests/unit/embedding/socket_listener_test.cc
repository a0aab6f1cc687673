#include "embedding/socket_listener.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "support/host_process.h"

namespace tovanel {
namespace {

using testing::TemporaryFolder;

mode_t modeOf(const std::string& path) {
  struct stat status = {};
  EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
  return status.st_mode & 07777;
}

// A Unix socket bound at `path`; it listens unless `listen` is false.
UniqueFd bindAt(const std::string& path, bool listen) {
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  EXPECT_EQ(::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  if (listen) {
    EXPECT_EQ(::listen(fd.get(), 1), 0);
  }
  return fd;
}

// Tests the modes of a new folder and socket, and that leaving removes both files.
TEST(SocketListener, PrivateSocketInANewFolderRemovedOnLeaving) {
  TemporaryFolder folder;
  const std::string path = folder.path() + "/a/b/channel.sock";
  {
    auto listener = SocketListener::claim(path, SocketListener::Folder::asFound);
    ASSERT_TRUE(listener) << listener.error;
    EXPECT_EQ(modeOf(folder.path() + "/a"), 0700u);
    EXPECT_EQ(modeOf(folder.path() + "/a/b"), 0700u);
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_TRUE(std::filesystem::is_socket(path));
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_FALSE(std::filesystem::exists(path + ".lock"));
}

// Tests that a second claim on a served path fails, and that the first stays untouched.
TEST(SocketListener, SecondClaimIsRefused) {
  TemporaryFolder folder;
  const std::string path = folder.path() + "/channel.sock";
  auto first = SocketListener::claim(path, SocketListener::Folder::asFound);
  ASSERT_TRUE(first);
  const auto second = SocketListener::claim(path, SocketListener::Folder::asFound);
  ASSERT_FALSE(second);
  EXPECT_EQ(second.error, "another printing host is already listening on " + path);
  EXPECT_TRUE(std::filesystem::is_socket(path));
}

// Tests the paths that must not be taken over, and the stale socket that must be.
TEST(SocketListener, ReplacesOnlyStaleSockets) {
  TemporaryFolder folder;
  const std::string stale = folder.path() + "/stale.sock";
  bindAt(stale, false);  // bound, then closed: as a crashed host leaves it
  auto replaced = SocketListener::claim(stale, SocketListener::Folder::asFound);
  EXPECT_TRUE(replaced) << replaced.error;

  const std::string live = folder.path() + "/live.sock";
  const auto other = bindAt(live, true);
  const auto refusedLive = SocketListener::claim(live, SocketListener::Folder::asFound);
  ASSERT_FALSE(refusedLive);
  EXPECT_EQ(refusedLive.error, "another program is listening on " + live);
  EXPECT_TRUE(std::filesystem::exists(live));

  const std::string file = folder.path() + "/file";
  std::ofstream(file) << "keep";
  const auto refusedFile = SocketListener::claim(file, SocketListener::Folder::asFound);
  ASSERT_FALSE(refusedFile);
  EXPECT_EQ(refusedFile.error, file + " exists and is not a socket");

  // A folder reached through a link is fine when the user names it.
  const std::string real = folder.path() + "/real";
  std::filesystem::create_directory(real);
  std::filesystem::create_directory_symlink(real, folder.path() + "/link");
  auto throughLink =
      SocketListener::claim(folder.path() + "/link/channel.sock", SocketListener::Folder::asFound);
  EXPECT_TRUE(throughLink) << throughLink.error;
  EXPECT_FALSE(
      SocketListener::claim(folder.path() + "/link/other.sock", SocketListener::Folder::private_));

  const auto tooLong = SocketListener::claim(folder.path() + "/" + std::string(120, 'x'),
                                             SocketListener::Folder::asFound);
  EXPECT_FALSE(tooLong);
}

// Tests that the default folder is made private, and refused when another user owns it.
TEST(SocketListener, DefaultFolderMustBeOwnAndPrivate) {
  TemporaryFolder folder;
  const std::string open = folder.path() + "/open";
  std::filesystem::create_directory(open);
  ::chmod(open.c_str(), 0755);
  {
    auto listener = SocketListener::claim(open + "/channel.sock", SocketListener::Folder::private_);
    ASSERT_TRUE(listener) << listener.error;
    EXPECT_EQ(modeOf(open), 0700u);
  }
  if (::geteuid() != 0)
    GTEST_SKIP() << "giving a folder to another user needs root";
  const std::string foreign = folder.path() + "/foreign";
  std::filesystem::create_directory(foreign);
  ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
  const auto refused =
      SocketListener::claim(foreign + "/channel.sock", SocketListener::Folder::private_);
  ASSERT_FALSE(refused);
  EXPECT_NE(refused.error.find("belongs to uid 65534"), std::string::npos) << refused.error;
}

// Tests the default path with and without XDG_RUNTIME_DIR.
TEST(SocketListener, DefaultPath) {
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string previous = saved ? saved : "";
  ::setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
  EXPECT_EQ(defaultSocketPath(), "/run/user/1000/com.tovanel.printing/channel.sock");
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(defaultSocketPath(),
            "/tmp/com.tovanel.printing-" + std::to_string(::geteuid()) + "/channel.sock");
  if (saved)
    ::setenv("XDG_RUNTIME_DIR", previous.c_str(), 1);
}

}  // namespace
}  // namespace tovanel
