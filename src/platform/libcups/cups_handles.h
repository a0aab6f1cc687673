// One owner for each libcups handle, so that every request, response, connection,
// destination and option list is freed on every path; and the printer URI of a queue.
#pragma once

#include <cups/cups.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tovanel {

struct IppRelease {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
struct HttpRelease {
  void operator()(http_t* http) const { httpClose(http); }
};
struct DestinationInfoRelease {
  void operator()(cups_dinfo_t* info) const { cupsFreeDestInfo(info); }
};
struct DestinationRelease {
  void operator()(cups_dest_t* dest) const { cupsFreeDests(1, dest); }
};

using Ipp = std::unique_ptr<ipp_t, IppRelease>;
using Http = std::unique_ptr<http_t, HttpRelease>;
using DestinationInfo = std::unique_ptr<cups_dinfo_t, DestinationInfoRelease>;
using Destination = std::unique_ptr<cups_dest_t, DestinationRelease>;

// An option list as libcups builds it.
class CupsOptions {
 public:
  explicit CupsOptions(const std::vector<std::pair<std::string, std::string>>& options) {
    for (const auto& [name, value] : options)
      count_ = cupsAddOption(name.c_str(), value.c_str(), count_, &options_);
  }
  ~CupsOptions() { cupsFreeOptions(count_, options_); }
  CupsOptions(const CupsOptions&) = delete;
  CupsOptions& operator=(const CupsOptions&) = delete;

  int count() const { return count_; }
  cups_option_t* get() const { return options_; }

 private:
  int count_ = 0;
  cups_option_t* options_ = nullptr;
};

// "ipp://localhost/printers/QUEUE", with the queue's name escaped as a URI needs;
// nothing for a name that no URI holds.
inline std::optional<std::string> printerUri(const std::string& queue) {
  char uri[HTTP_MAX_URI];
  if (queue.empty() ||
      httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0,
                       "/printers/%s", queue.c_str()) != HTTP_URI_STATUS_OK)
    return std::nullopt;
  return uri;
}

}  // namespace tovanel
