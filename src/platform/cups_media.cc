#include "platform/cups_media.h"

#include <cups/cups.h>

namespace tovanel {
namespace {

// Owns what cupsGetNamedDest returns.
class NamedDestination {
 public:
  explicit NamedDestination(const std::string& queue)
      : dest_(cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.c_str(), nullptr)) {}
  ~NamedDestination() { cupsFreeDests(dest_ ? 1 : 0, dest_); }
  NamedDestination(const NamedDestination&) = delete;
  NamedDestination& operator=(const NamedDestination&) = delete;
  cups_dest_t* get() const { return dest_; }

 private:
  cups_dest_t* dest_;
};

// Owns what cupsCopyDestInfo returns: one request to the server, not cached by libcups.
class DestinationInfo {
 public:
  explicit DestinationInfo(cups_dest_t* dest) : info_(cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest)) {}
  ~DestinationInfo() { cupsFreeDestInfo(info_); }
  DestinationInfo(const DestinationInfo&) = delete;
  DestinationInfo& operator=(const DestinationInfo&) = delete;
  cups_dinfo_t* get() const { return info_; }

 private:
  cups_dinfo_t* info_;
};

// cups_size_t measures in hundredths of a millimetre.
double hundredthsOfMillimetreToPoints(int length) {
  return length * 72.0 / 2540.0;
}

}  // namespace

std::optional<PaperSize> defaultMediaSize(const std::string& queue) {
  const NamedDestination dest(queue);
  if (!dest.get())
    return std::nullopt;
  const DestinationInfo info(dest.get());
  if (!info.get())
    return std::nullopt;
  // Not cupsGetDestMediaDefault: for label printers it answers the first size the driver
  // lists (1.25 x 0.25 in for the Zebra driver) instead of the queue's default.
  ipp_attribute_t* media = cupsFindDestDefault(CUPS_HTTP_DEFAULT, dest.get(), info.get(), "media");
  const char* name = media ? ippGetString(media, 0, nullptr) : nullptr;
  cups_size_t size{};
  if (!name || !cupsGetDestMediaByName(CUPS_HTTP_DEFAULT, dest.get(), info.get(), name,
                                       CUPS_MEDIA_FLAGS_DEFAULT, &size))
    return std::nullopt;
  return PaperSize{hundredthsOfMillimetreToPoints(size.width),
                   hundredthsOfMillimetreToPoints(size.length)};
}

}  // namespace tovanel
