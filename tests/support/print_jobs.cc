#include "support/print_jobs.h"

#include <cups/cups.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/cups_sandbox.h"

namespace tovanel::testing {
namespace {

// Every job of a queue, finished or not, as the server lists them.
class JobList {
 public:
  explicit JobList(const std::string& queue)
      : count_(cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs_, queue.c_str(), 0, CUPS_WHICHJOBS_ALL)) {}
  ~JobList() { cupsFreeJobs(count_, jobs_); }
  JobList(const JobList&) = delete;
  JobList& operator=(const JobList&) = delete;

  const cups_job_t* begin() const { return jobs_; }
  const cups_job_t* end() const { return count_ > 0 ? jobs_ + count_ : jobs_; }

 private:
  cups_job_t* jobs_ = nullptr;
  int count_;
};

struct IppRelease {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};

int jobCopies(int jobId) {
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
  const std::string uri = "ipp://localhost/jobs/" + std::to_string(jobId);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  const std::unique_ptr<ipp_t, IppRelease> response(
      cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/jobs/"));
  ipp_attribute_t* copies =
      response ? ippFindAttribute(response.get(), "copies", IPP_TAG_INTEGER) : nullptr;
  return copies ? ippGetInteger(copies, 0) : 0;
}

}  // namespace

int newestJobId(const std::string& queue) {
  int newest = 0;
  for (const auto& job : JobList(queue))
    newest = std::max(newest, job.id);
  return newest;
}

std::optional<SandboxJob> waitForJobAfter(const std::string& queue, int afterId,
                                          std::chrono::milliseconds timeout,
                                          std::chrono::milliseconds pollEvery) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    for (const auto& job : JobList(queue)) {
      if (job.id > afterId && job.state >= IPP_JSTATE_CANCELED)
        return SandboxJob{job.id, job.title ? job.title : "", job.state, jobCopies(job.id)};
    }
    std::this_thread::sleep_for(pollEvery);
  }
  return std::nullopt;
}

bool queueIsEnabled(const std::string& queue) {
  const auto result = runShell("lpstat -p " + queue + " 2>&1");
  return result.status == 0 && result.output.find("disabled") == std::string::npos;
}

std::optional<PdfPages> pdfPages(const std::string& path) {
  const auto result = runShell("pdfinfo '" + path + "' 2>/dev/null");
  if (result.status != 0)
    return std::nullopt;
  PdfPages pages;
  std::istringstream lines(result.output);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("Pages:"))
      pages.count = std::stoi(line.substr(6));
    if (line.starts_with("Page size:"))
      std::sscanf(line.c_str(), "Page size: %lf x %lf", &pages.width, &pages.height);
    if (line.starts_with("Page rot:"))
      pages.rotation = std::stoi(line.substr(9));
  }
  return pages;
}

std::optional<Raster> renderPdfPage(const std::string& path, int dpi) {
  const std::string prefix = path + ".page";
  const auto result = runShell("pdftoppm -r " + std::to_string(dpi) + " -f 1 -l 1 -singlefile '" +
                               path + "' '" + prefix + "' 2>&1");
  const std::string ppm = readFile(prefix + ".ppm");
  std::filesystem::remove(prefix + ".ppm");
  if (result.status != 0)
    return std::nullopt;
  // A binary PPM: "P6", width, height, 255, one whitespace, then the pixels.
  std::istringstream header(ppm);
  std::string magic;
  Raster raster;
  int maximum = 0;
  header >> magic >> raster.width >> raster.height >> maximum;
  if (magic != "P6" || maximum != 255 || !header)
    return std::nullopt;
  const auto start = static_cast<size_t>(header.tellg()) + 1;
  const auto size = static_cast<size_t>(raster.width) * raster.height * 3;
  if (ppm.size() < start + size)
    return std::nullopt;
  raster.rgb.assign(ppm.begin() + start, ppm.begin() + start + size);
  return raster;
}

}  // namespace tovanel::testing
