#include "support/cups_sandbox.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace tovanel::testing {
namespace {

std::string script() {
  return std::string(TOVANEL_SOURCE_DIR) + "/scripts/cups-sandbox";
}

std::optional<CupsSandbox>& current() {
  static std::optional<CupsSandbox> sandbox;
  return sandbox;
}

class SandboxEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    usePrivateHome();
    current().emplace(CupsSandbox::start());
    current()->exportEnvironment();
  }
  void TearDown() override { current().reset(); }
};

}  // namespace

ShellResult runShell(const std::string& command) {
  ShellResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe)
    return result;
  char buffer[4096];
  size_t count;
  while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0)
    result.output.append(buffer, count);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

CupsSandbox CupsSandbox::start() {
  const auto result = runShell(script() + " start --owner " + std::to_string(getpid()));
  CupsSandbox sandbox;
  std::istringstream lines(result.output);
  for (std::string line; std::getline(lines, line);) {
    const auto equals = line.find('=');
    if (equals == std::string::npos)
      continue;
    const auto key = line.substr(0, equals);
    const auto value = line.substr(equals + 1);
    if (key == "CUPS_SANDBOX")
      sandbox.dir_ = value;
    if (key == "CUPS_SERVER")
      sandbox.server_ = value;
    if (key == "CUPS_SANDBOX_OUT")
      sandbox.outputDir_ = value;
  }
  if (result.status != 0 || sandbox.dir_.empty() || sandbox.server_.empty())
    throw std::runtime_error("the CUPS sandbox did not start: " + result.output);
  return sandbox;
}

CupsSandbox::CupsSandbox(CupsSandbox&& other) noexcept
    : dir_(std::exchange(other.dir_, "")),
      server_(std::move(other.server_)),
      outputDir_(std::move(other.outputDir_)) {}

CupsSandbox::~CupsSandbox() {
  if (!dir_.empty())
    runShell(script() + " stop " + dir_);
}

void CupsSandbox::stopDaemon() {
  runShell(script() + " down " + dir_);
}

void CupsSandbox::startDaemon() {
  if (runShell(script() + " up " + dir_).status != 0)
    ADD_FAILURE() << "cupsd of the sandbox did not start again";
}

void CupsSandbox::exportEnvironment() const {
  setenv("CUPS_SERVER", server_.c_str(), 1);
  setenv("CUPS_SANDBOX", dir_.c_str(), 1);
  setenv("CUPS_SANDBOX_OUT", outputDir_.c_str(), 1);
}

std::string usePrivateHome() {
  static std::string home;
  if (!home.empty())
    return home;
  char pattern[] = "/tmp/tovanel-home.XXXXXX";
  if (!mkdtemp(pattern))
    throw std::runtime_error("no temporary HOME");
  home = pattern;
  setenv("HOME", home.c_str(), 1);
  std::atexit([] { std::filesystem::remove_all(home); });
  return home;
}

int runEndToEndTests(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new SandboxEnvironment);
  return RUN_ALL_TESTS();
}

CupsSandbox& sandbox() {
  if (!current())
    throw std::logic_error("no sandbox: use runEndToEndTests as main");
  return *current();
}

}  // namespace tovanel::testing
