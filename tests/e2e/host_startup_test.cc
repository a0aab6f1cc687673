// printing_host as a program: where and how it listens, how it stops, and how it
// shares a socket path with hosts before and beside it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "support/cups_sandbox.h"
#include "support/host_client.h"
#include "support/host_process.h"
#include "support/replies.h"

namespace tovanel {
namespace {

using testing::HostProcess;
using testing::TemporaryFolder;

const MethodReply kLabelOnline =
    testing::successReply(ValueMap{{"status", "online"}, {"message", "Ready"}});

mode_t modeOf(const std::string& path) {
  struct stat status = {};
  EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
  return status.st_mode & 07777;
}

MethodReply labelStatus(const std::string& socketPath) {
  return testing::callHost(socketPath, "getPrinterStatus",
                           ValueMap{{"printerName", "Label Printer 4x6"}});
}

// Tests the listening line, the modes of the folder it creates and of the socket, and
// that SIGTERM and SIGINT both end the host with status 0 and remove its files.
TEST(HostStartup, ListensPrivatelyAndStopsCleanly) {
  for (int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    TemporaryFolder folder;
    const std::string path = folder.path() + "/new/channel.sock";
    auto host = HostProcess::start(path);
    EXPECT_EQ(host.output(), "printing_host: listening on " + path + "\n");
    EXPECT_EQ(modeOf(folder.path() + "/new"), 0700u);
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(labelStatus(path), kLabelOnline);
    EXPECT_EQ(host.stop(signal), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::exists(path + ".lock"));
  }
}

// Tests that a second host on a live socket refuses to start, says why, and leaves the
// first one serving.
TEST(HostStartup, SecondHostOnALiveSocketRefusesToStart) {
  auto first = HostProcess::start();
  const auto second =
      testing::runProgram({testing::printingHostPath(), "--socket", first.socketPath()});
  EXPECT_EQ(second.status, 1);
  EXPECT_EQ(second.err, "printing_host: another printing host is already listening on " +
                            first.socketPath() + "\n");
  EXPECT_EQ(second.out, "");
  EXPECT_EQ(labelStatus(first.socketPath()), kLabelOnline);
  EXPECT_EQ(first.stop(), 0);
}

// Tests that the socket a crashed host leaves behind is replaced by the next host.
TEST(HostStartup, StaleSocketOfACrashedHostIsReplaced) {
  TemporaryFolder folder;
  const std::string path = folder.path() + "/channel.sock";
  HostProcess::start(path).kill();
  ASSERT_TRUE(std::filesystem::is_socket(path));
  auto next = HostProcess::start(path);
  EXPECT_EQ(labelStatus(path), kLabelOnline);
  EXPECT_EQ(next.stop(), 0);
}

// Tests the default socket under XDG_RUNTIME_DIR, in a folder made private.
TEST(HostStartup, DefaultSocketUnderTheRuntimeFolder) {
  TemporaryFolder runtime;
  ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
  const std::string path = runtime.path() + "/com.tovanel.printing/channel.sock";
  auto host = HostProcess::startOnDefaultSocket(path);
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(modeOf(runtime.path() + "/com.tovanel.printing"), 0700u);
  EXPECT_EQ(modeOf(path), 0600u);
  EXPECT_EQ(labelStatus(path), kLabelOnline);
  EXPECT_EQ(host.stop(), 0);
}

// Tests --help, --version and a wrong option: status, and which stream says what.
TEST(HostStartup, OptionsForPeople) {
  const auto help = testing::runProgram({testing::printingHostPath(), "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.starts_with("usage: printing_host [--socket PATH]\n")) << help.out;
  const auto version = testing::runProgram({testing::printingHostPath(), "--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("printing_host ") + TOVANEL_VERSION + "\n");
  for (const std::vector<std::string>& wrong :
       {std::vector<std::string>{"--bogus"}, std::vector<std::string>{"--socket"}}) {
    auto command = wrong;
    command.insert(command.begin(), testing::printingHostPath());
    const auto result = testing::runProgram(command);
    EXPECT_EQ(result.status, 2) << wrong[0];
    EXPECT_TRUE(
        result.err.starts_with("printing_host: unknown option or missing value: " + wrong[0]))
        << result.err;
    EXPECT_EQ(result.out, "");
  }
}

}  // namespace
}  // namespace tovanel

int main(int argc, char** argv) {
  return tovanel::testing::runEndToEndTests(argc, argv);
}
