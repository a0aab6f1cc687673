#include "platform/cups_media.h"

#include <cups/cups.h>

#include <memory>
#include <span>
#include <string>

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

using IppResponse = std::unique_ptr<ipp_t, decltype(&ippDelete)>;

// One Get-Printer-Attributes request for `names` of `queue`; null when it failed.
IppResponse printerAttributes(const std::string& queue, std::span<const char* const> names) {
  IppResponse none(nullptr, ippDelete);
  char uri[HTTP_MAX_URI];
  if (httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0,
                       "/printers/%s", queue.c_str()) != HTTP_URI_STATUS_OK)
    return none;
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                static_cast<int>(names.size()), nullptr, names.data());
  IppResponse response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/"), ippDelete);
  if (!response || ippGetStatusCode(response.get()) > IPP_STATUS_OK_EVENTS_COMPLETE)
    return none;
  return response;
}

// The queue's "media-default" keyword, from one small request.
std::string mediaDefaultKeyword(const std::string& queue) {
  static const char* const kNames[] = {"media-default"};
  const IppResponse response = printerAttributes(queue, kNames);
  ipp_attribute_t* media =
      response ? ippFindAttribute(response.get(), "media-default", IPP_TAG_ZERO) : nullptr;
  const char* keyword = media ? ippGetString(media, 0, nullptr) : nullptr;
  return keyword ? keyword : "";
}

// A keyword that tells its own size (every name CUPS lists for a queue does).
std::optional<Medium> selfDescribingMedium(const char* keyword) {
  const pwg_media_t* media = keyword ? pwgMediaForPWG(keyword) : nullptr;
  if (!media || media->width <= 0 || media->length <= 0)
    return std::nullopt;
  return Medium{keyword, PaperSize{hundredthsOfMillimetreToPoints(media->width),
                                   hundredthsOfMillimetreToPoints(media->length)}};
}

std::vector<Medium> mediaOf(ipp_attribute_t* attribute) {
  std::vector<Medium> media;
  for (int i = 0; attribute && i < ippGetCount(attribute); ++i) {
    if (auto medium = selfDescribingMedium(ippGetString(attribute, i, nullptr)))
      media.push_back(std::move(*medium));
  }
  return media;
}

// Measures a media keyword the way the destination's own details do; for names that are
// not self-describing, asks for those details (one costly request).
std::optional<cups_size_t> measureMedia(const std::string& queue, const std::string& keyword) {
  if (const pwg_media_t* known = pwgMediaForPWG(keyword.c_str())) {
    cups_size_t size{};
    size.width = known->width;
    size.length = known->length;
    return size;
  }
  const NamedDestination dest(queue);
  if (!dest.get())
    return std::nullopt;
  const DestinationInfo info(dest.get());
  cups_size_t size{};
  if (!info.get() || !cupsGetDestMediaByName(CUPS_HTTP_DEFAULT, dest.get(), info.get(),
                                             keyword.c_str(), CUPS_MEDIA_FLAGS_DEFAULT, &size))
    return std::nullopt;
  return size;
}

}  // namespace

MediaOffer readMediaOffer(const std::string& queue) {
  static const char* const kNames[] = {"media-supported", "media-default", "media-ready"};
  MediaOffer offer;
  const IppResponse response = printerAttributes(queue, kNames);
  if (!response)
    return offer;
  ipp_attribute_t* supported = ippFindAttribute(response.get(), "media-supported", IPP_TAG_ZERO);
  offer.known = supported && ippGetCount(supported) > 0;
  for (Medium& medium : mediaOf(supported)) {
    // CUPS names the range of custom sizes a queue takes as two more keywords.
    if (medium.name.starts_with("custom_min_"))
      offer.customMin = medium.size;
    else if (medium.name.starts_with("custom_max_"))
      offer.customMax = medium.size;
    else
      offer.listed.push_back(std::move(medium));
  }
  const auto defaults = mediaOf(ippFindAttribute(response.get(), "media-default", IPP_TAG_ZERO));
  if (!defaults.empty())
    offer.defaultMedium = defaults.front();
  offer.ready = mediaOf(ippFindAttribute(response.get(), "media-ready", IPP_TAG_ZERO));
  return offer;
}

std::optional<PaperSize> defaultMediaSize(const std::string& queue) {
  // Not cupsGetDestMediaDefault: for label printers it answers the first size the driver
  // lists (1.25 x 0.25 in for the Zebra driver) instead of the queue's default.
  const std::string keyword = mediaDefaultKeyword(queue);
  if (keyword.empty())
    return std::nullopt;
  const auto size = measureMedia(queue, keyword);
  if (!size)
    return std::nullopt;
  return PaperSize{hundredthsOfMillimetreToPoints(size->width),
                   hundredthsOfMillimetreToPoints(size->length)};
}

}  // namespace tovanel
