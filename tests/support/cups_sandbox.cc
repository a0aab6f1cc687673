#include "support/cups_sandbox.h"

#include <cups/cups.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "platform/libcups/cups_handles.h"
#include "support/host_process.h"
#include "support/temporary_folder.h"

namespace tovanel::testing {
namespace {

const std::string kScript = std::string(TOVANEL_SOURCE_DIR) + "/scripts/cups-sandbox";

// A fresh HOME for this process, so `lpoptions -d` never changes the machine's default.
void usePrivateHome() {
  static const TemporaryFolder home;
  setenv("HOME", home.path().c_str(), 1);
}

std::optional<CupsSandbox>& current() {
  static std::optional<CupsSandbox> sandbox;
  return sandbox;
}

class SandboxEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { current().emplace(); }
  void TearDown() override { current().reset(); }
};

// Every job of a queue as the server lists them, with `each` called on each.
template <typename Each>
void forEachJob(const std::string& queue, Each each) {
  cups_job_t* jobs = nullptr;
  const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, queue.c_str(), 0, CUPS_WHICHJOBS_ALL);
  std::for_each(jobs, jobs + std::max(count, 0), each);
  cupsFreeJobs(count, jobs);
}

// The copies and the media a job was sent with, as the server keeps them: the media's
// name, or the custom page size it was given as.
void readJobAttributes(SandboxJob& job) {
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr,
               ("ipp://localhost/jobs/" + std::to_string(job.id)).c_str());
  const Ipp response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/jobs/"));
  const auto find = [&response](const char* name) {
    return response ? ippFindAttribute(response.get(), name, IPP_TAG_ZERO) : nullptr;
  };
  job.copies = find("copies") ? ippGetInteger(find("copies"), 0) : 0;
  ipp_attribute_t* media = find("media") ? find("media") : find("PageSize");
  const char* name = media ? ippGetString(media, 0, nullptr) : nullptr;
  job.media = name ? name : "";
}

}  // namespace

ShellResult runShell(const std::string& command) {
  const auto result = runProgram({"/bin/sh", "-c", command}, {}, std::chrono::minutes(5));
  return {result.status, result.out};
}

CupsSandbox::CupsSandbox() {
  usePrivateHome();
  const auto result = runProgram({kScript, "start", "--owner", std::to_string(getpid())}, {},
                                 std::chrono::minutes(5));
  std::istringstream lines(result.out);
  for (std::string line; std::getline(lines, line);) {
    if (line.find('=') == std::string::npos)
      continue;
    // NAME=VALUE, as a shell would export them.
    const std::string name = line.substr(0, line.find('=')), value = line.substr(name.size() + 1);
    setenv(name.c_str(), value.c_str(), 1);
    if (name == "CUPS_SANDBOX")
      dir_ = value;
    if (name == "CUPS_SANDBOX_OUT")
      outputDir_ = value;
  }
  if (result.status != 0 || dir_.empty() || outputDir_.empty())
    throw std::runtime_error("the CUPS sandbox did not start: " + result.err);
}

CupsSandbox::~CupsSandbox() {
  runShell(kScript + " stop " + dir_);
}

void CupsSandbox::stopDaemon() {
  runShell(kScript + " down " + dir_);
}

void CupsSandbox::startDaemon() {
  if (runShell(kScript + " up " + dir_).status != 0)
    ADD_FAILURE() << "cupsd of the sandbox did not start again";
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

int newestJobId(const std::string& queue) {
  int newest = 0;
  forEachJob(queue, [&newest](const cups_job_t& job) { newest = std::max(newest, job.id); });
  return newest;
}

std::vector<SandboxJob> waitForJobsAfter(const std::string& queue, int afterId, size_t count,
                                         std::chrono::milliseconds timeout,
                                         std::chrono::milliseconds pollEvery) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::vector<SandboxJob> done;
  while (done.size() < count && std::chrono::steady_clock::now() < deadline) {
    done.clear();
    forEachJob(queue, [&](const cups_job_t& job) {
      if (job.id > afterId && job.state >= IPP_JSTATE_CANCELED)
        done.push_back(SandboxJob{job.id, job.title ? job.title : "", job.state});
    });
    if (done.size() < count)
      std::this_thread::sleep_for(pollEvery);
  }
  std::ranges::sort(done, {}, &SandboxJob::id);
  if (done.size() > count)
    done.resize(count);
  for (SandboxJob& job : done)
    readJobAttributes(job);
  return done;
}

std::optional<SandboxJob> waitForJobAfter(const std::string& queue, int afterId,
                                          std::chrono::milliseconds timeout,
                                          std::chrono::milliseconds pollEvery) {
  const auto done = waitForJobsAfter(queue, afterId, 1, timeout, pollEvery);
  return done.empty() ? std::nullopt : std::optional(done.front());
}

}  // namespace tovanel::testing
