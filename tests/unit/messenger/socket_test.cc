// The socket's framing and claiming the socket's path.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "messenger/socket_frames.h"
#include "messenger/socket_listener.h"
#include "support/temporary_folder.h"

namespace tovanel {
namespace {

using testing::TemporaryFolder;

std::vector<uint8_t> bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> out;
  for (int value : values)
    out.push_back(static_cast<uint8_t>(value));
  return out;
}

// Tests the prefix of each kind of frame byte for byte: size, kind, id, channel name.
TEST(SocketFrames, PrefixesMatchTheFraming) {
  EXPECT_EQ(framePrefix(FrameKind::call, 7, 3, "ab"),
            bytes({12, 0, 0, 0, 1, 7, 0, 0, 0, 2, 0, 'a', 'b'}));
  EXPECT_EQ(framePrefix(FrameKind::reply, 0x01020304, 0), bytes({5, 0, 0, 0, 2, 4, 3, 2, 1}));
  EXPECT_EQ(framePrefix(FrameKind::failure, 1, 256), bytes({5, 1, 0, 0, 3, 1, 0, 0, 0}));
}

// Tests that frame sizes outside 5 bytes .. 64 MiB are refused as soon as they are read.
TEST(SocketFrames, SizeLimits) {
  for (const auto& [size, allowed] : {std::pair{0u, false},
                                      {4u, false},
                                      {5u, true},
                                      {kMaxFrameSize, true},
                                      {kMaxFrameSize + 1, false}}) {
    EXPECT_EQ(checkFrameSize(size).empty(), allowed) << size;
  }
}

// Tests parsing of well-formed frames and the refusal of every malformed part.
TEST(SocketFrames, ParsesFramesAndRejectsBrokenOnes) {
  const auto callBytes = bytes({1, 9, 0, 0, 0, 2, 0, 'a', 'b', 0x07, 0x00});
  const auto call = parseFrame(callBytes);  // views into callBytes
  ASSERT_TRUE(call) << call.error;
  EXPECT_EQ(call.value->kind, FrameKind::call);
  EXPECT_EQ(call.value->id, 9u);
  EXPECT_EQ(call.value->channel, "ab");
  EXPECT_EQ(std::vector<uint8_t>(call.value->message.begin(), call.value->message.end()),
            bytes({0x07, 0x00}));

  const auto replyBytes = bytes({2, 1, 0, 0, 0});
  const auto reply = parseFrame(replyBytes);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply.value->kind, FrameKind::reply);
  EXPECT_TRUE(reply.value->message.empty());

  const struct {
    const char* name;
    std::vector<uint8_t> frame;
    const char* reason;
  } broken[] = {
      {"too short", bytes({1, 0, 0}), "too short"},
      {"unknown kind", bytes({9, 0, 0, 0, 0}), "unknown frame kind 9"},
      {"no channel size", bytes({1, 0, 0, 0, 0, 3}), "ends before its channel name"},
      {"channel past the end", bytes({1, 0, 0, 0, 0, 5, 0, 'a'}), "runs past its end"},
      {"channel not UTF-8", bytes({1, 0, 0, 0, 0, 1, 0, 0xff}), "not valid UTF-8"},
  };
  for (const auto& c : broken) {
    const auto parsed = parseFrame(c.frame);
    EXPECT_FALSE(parsed) << c.name;
    EXPECT_NE(parsed.error.find(c.reason), std::string::npos) << c.name << ": " << parsed.error;
  }
}

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
