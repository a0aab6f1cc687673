#include "platform/cups_spooler.h"

#include <cups/cups.h>

#include <memory>

namespace tovanel {
namespace {

// How long connecting to the server may take, in milliseconds.
constexpr int kConnectTimeout = 30000;

struct HttpRelease {
  void operator()(http_t* http) const { httpClose(http); }
};
struct DestRelease {
  void operator()(cups_dest_t* dest) const { cupsFreeDests(1, dest); }
};
struct DestInfoRelease {
  void operator()(cups_dinfo_t* info) const { cupsFreeDestInfo(info); }
};
using Http = std::unique_ptr<http_t, HttpRelease>;
using Dest = std::unique_ptr<cups_dest_t, DestRelease>;
using DestInfo = std::unique_ptr<cups_dinfo_t, DestInfoRelease>;

class Options {
 public:
  explicit Options(const CupsJob& job) {
    for (const auto& [name, value] : job.options)
      count_ = cupsAddOption(name.c_str(), value.c_str(), count_, &options_);
  }
  ~Options() { cupsFreeOptions(count_, options_); }
  Options(const Options&) = delete;
  Options& operator=(const Options&) = delete;

  int count() const { return count_; }
  cups_option_t* get() const { return options_; }

 private:
  int count_ = 0;
  cups_option_t* options_ = nullptr;
};

bool succeeded(ipp_status_t status) {
  return status < IPP_STATUS_REDIRECTION_OTHER_SITE;
}

// A connection of its own, so that it can be dropped in the middle of a document.
Http connectToServer() {
  return Http(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                           kConnectTimeout, nullptr));
}

void cancelJob(const CupsJob& job, int jobId) {
  cupsCancelJob2(CUPS_HTTP_DEFAULT, job.queue.c_str(), jobId, 0);
}

}  // namespace

bool spoolCupsJob(const CupsJob& job, const char* format,
                  const std::function<bool(const ByteSink&)>& writeDocument) {
  Http http = connectToServer();
  if (!http)
    return false;
  const Dest dest(cupsGetNamedDest(http.get(), job.queue.c_str(), nullptr));
  if (!dest)
    return false;
  const DestInfo info(cupsCopyDestInfo(http.get(), dest.get()));
  if (!info)
    return false;
  const Options options(job);
  int jobId = 0;
  if (!succeeded(cupsCreateDestJob(http.get(), dest.get(), info.get(), &jobId, job.title.c_str(),
                                   options.count(), options.get())) ||
      jobId <= 0) {
    return false;
  }

  const bool sent =
      cupsStartDestDocument(http.get(), dest.get(), info.get(), jobId, job.title.c_str(), format, 0,
                            nullptr, 1) == HTTP_STATUS_CONTINUE &&
      writeDocument([&http](std::span<const unsigned char> bytes) {
        return cupsWriteRequestData(http.get(), reinterpret_cast<const char*>(bytes.data()),
                                    bytes.size()) == HTTP_STATUS_CONTINUE;
      });
  if (!sent) {
    http.reset();  // the server drops a document whose request never ended
    cancelJob(job, jobId);
    return false;
  }
  if (!succeeded(cupsFinishDestDocument(http.get(), dest.get(), info.get()))) {
    cancelJob(job, jobId);
    return false;
  }
  return true;
}

}  // namespace tovanel
