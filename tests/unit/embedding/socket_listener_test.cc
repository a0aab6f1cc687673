#include "embedding/socket_listener.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "support/temporary_folder.h"

namespace tovanel {
namespace {

using testing::TemporaryFolder;

// A Unix socket listening at `path`.
UniqueFd bindAndListen(const std::string& path) {
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  EXPECT_EQ(::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(::listen(fd.get(), 1), 0);
  return fd;
}

// Tests the paths that must not be taken over, and links only where the user names them.
TEST(SocketListener, RefusesWhatIsNotItsOwn) {
  TemporaryFolder folder;
  const std::string live = folder.path() + "/live.sock";
  const auto other = bindAndListen(live);
  const auto refusedLive = SocketListener::claim(live, SocketListener::Folder::asFound);
  ASSERT_FALSE(refusedLive);
  EXPECT_EQ(refusedLive.error, "another program is listening on " + live);
  EXPECT_TRUE(std::filesystem::exists(live));

  const std::string file = folder.path() + "/file";
  std::ofstream(file) << "keep";
  const auto refusedFile = SocketListener::claim(file, SocketListener::Folder::asFound);
  ASSERT_FALSE(refusedFile);
  EXPECT_EQ(refusedFile.error, file + " exists and is not a socket");
  EXPECT_FALSE(SocketListener::claim(folder.path() + "/" + std::string(120, 'x'),
                                     SocketListener::Folder::asFound));

  const std::string real = folder.path() + "/real";
  std::filesystem::create_directory(real);
  std::filesystem::create_directory_symlink(real, folder.path() + "/link");
  const auto throughLink =
      SocketListener::claim(folder.path() + "/link/channel.sock", SocketListener::Folder::asFound);
  EXPECT_TRUE(throughLink) << throughLink.error;
  EXPECT_FALSE(
      SocketListener::claim(folder.path() + "/link/other.sock", SocketListener::Folder::private_));
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
    struct stat status = {};
    ::lstat(open.c_str(), &status);
    EXPECT_EQ(status.st_mode & 07777, 0700u);
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
