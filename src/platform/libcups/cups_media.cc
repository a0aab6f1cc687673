#include "platform/libcups/cups_media.h"

#include <cups/cups.h>

#include <span>
#include <string>
#include <string_view>

#include "platform/libcups/cups_handles.h"

namespace tovanel {
namespace {

// How long the printer behind a queue may take to connect and to answer, in seconds: a
// printer that is off must not hold up the job for long (CUPS holds the job until it
// is back).
constexpr int kPrinterTimeout = 3;

// One Get-Printer-Attributes request for `names` of the printer at `uri`, over `http`;
// null when it failed.
Ipp printerAttributes(http_t* http, const std::string& uri, const std::string& resource,
                      std::span<const char* const> names) {
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                static_cast<int>(names.size()), nullptr, names.data());
  Ipp response(cupsDoRequest(http, request, resource.c_str()));
  if (!response || ippGetStatusCode(response.get()) > IPP_STATUS_OK_EVENTS_COMPLETE)
    return nullptr;
  return response;
}

Ipp queueAttributes(const std::string& queue, std::span<const char* const> names) {
  const auto uri = printerUri(queue);
  return uri ? printerAttributes(CUPS_HTTP_DEFAULT, *uri, "/", names) : nullptr;
}

std::vector<const char*> strings(ipp_attribute_t* attribute) {
  std::vector<const char*> values;
  for (int i = 0; attribute && i < ippGetCount(attribute); ++i) {
    if (const char* value = ippGetString(attribute, i, nullptr))
      values.push_back(value);
  }
  return values;
}

ipp_attribute_t* find(const Ipp& response, const char* name) {
  return ippFindAttribute(response.get(), name, IPP_TAG_ZERO);
}

// A keyword that tells its own size (every name CUPS lists for a queue does).
std::optional<Medium> selfDescribingMedium(const char* keyword) {
  const pwg_media_t* media = keyword ? pwgMediaForPWG(keyword) : nullptr;
  if (!media || media->width <= 0 || media->length <= 0)
    return std::nullopt;
  return Medium{keyword, MediaSize{media->width, media->length}};
}

std::vector<Medium> mediaOf(ipp_attribute_t* attribute) {
  std::vector<Medium> media;
  for (const char* keyword : strings(attribute)) {
    if (auto medium = selfDescribingMedium(keyword))
      media.push_back(std::move(*medium));
  }
  return media;
}

// The named sizes of a "media-supported" list, and the range of custom sizes that the
// list gives as two more names (custom_min_/custom_max_, or roll_min_/roll_max_ for a
// printer fed from a roll).
struct SupportedMedia {
  std::vector<Medium> named;
  std::optional<MediaSize> customMin, customMax;
};

SupportedMedia supportedMedia(ipp_attribute_t* attribute) {
  SupportedMedia supported;
  for (Medium& medium : mediaOf(attribute)) {
    const std::string_view name = medium.name;
    if (name.starts_with("custom_min_") || name.starts_with("roll_min_"))
      supported.customMin = medium.size;
    else if (name.starts_with("custom_max_") || name.starts_with("roll_max_"))
      supported.customMax = medium.size;
    else
      supported.named.push_back(std::move(medium));
  }
  return supported;
}

std::vector<MediaSize> sizesOf(const std::vector<Medium>& media) {
  std::vector<MediaSize> sizes;
  for (const Medium& medium : media)
    sizes.push_back(medium.size);
  return sizes;
}

bool isLoopback(std::string_view host) {
  return host == "localhost" || host.starts_with("127.") || host == "::1" || host == "[::1]";
}

// What the printer at `deviceUri` says of its media, when it is an IPP printer this
// process can reach: a "localhost" of a remote server is that server's, not ours.
std::optional<PrinterMedia> readPrinterMedia(const std::string& deviceUri) {
  char scheme[32], userpass[256], host[256], resource[1024];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, deviceUri.c_str(), scheme, sizeof scheme, userpass,
                      sizeof userpass, host, sizeof host, &port, resource,
                      sizeof resource) < HTTP_URI_STATUS_OK)
    return std::nullopt;
  const std::string_view kind = scheme;
  if (kind != "ipp" && kind != "ipps")
    return std::nullopt;
  const std::string_view server = cupsServer();
  if (isLoopback(host) && !server.starts_with("/") && !isLoopback(server))
    return std::nullopt;
  const Http http(
      httpConnect2(host, port, nullptr, AF_UNSPEC,
                   kind == "ipps" ? HTTP_ENCRYPTION_ALWAYS : HTTP_ENCRYPTION_IF_REQUESTED, 1,
                   kPrinterTimeout * 1000, nullptr));
  if (!http)
    return std::nullopt;
  httpSetTimeout(http.get(), kPrinterTimeout, nullptr, nullptr);
  static const char* const kNames[] = {"media-supported", "media-size-supported", "media-ready"};
  const Ipp response = printerAttributes(http.get(), deviceUri, resource, kNames);
  if (!response)
    return std::nullopt;
  SupportedMedia supported = supportedMedia(find(response, "media-supported"));
  PrinterMedia printer{sizesOf(supported.named), supported.customMin, supported.customMax,
                       sizesOf(mediaOf(find(response, "media-ready")))};
  ipp_attribute_t* sizes = find(response, "media-size-supported");
  for (int i = 0; sizes && i < ippGetCount(sizes); ++i) {
    ipp_t* size = ippGetCollection(sizes, i);
    ipp_attribute_t* x = ippFindAttribute(size, "x-dimension", IPP_TAG_INTEGER);
    ipp_attribute_t* y = ippFindAttribute(size, "y-dimension", IPP_TAG_INTEGER);
    if (x && y)
      printer.sizes.push_back({ippGetInteger(x, 0), ippGetInteger(y, 0)});
  }
  if (printer.sizes.empty() && !printer.customMax)
    return std::nullopt;  // says nothing of its media: the queue's word stands
  return printer;
}

// The queue's "media-default" keyword, from one small request.
std::string mediaDefaultKeyword(const std::string& queue) {
  static const char* const kNames[] = {"media-default"};
  const Ipp response = queueAttributes(queue, kNames);
  const auto keywords =
      response ? strings(find(response, "media-default")) : std::vector<const char*>{};
  return keywords.empty() ? "" : keywords.front();
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
  const Destination dest(cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.c_str(), nullptr));
  if (!dest)
    return std::nullopt;
  // One request to the server, not cached by libcups.
  const DestinationInfo info(cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest.get()));
  cups_size_t size{};
  if (!info.get() || !cupsGetDestMediaByName(CUPS_HTTP_DEFAULT, dest.get(), info.get(),
                                             keyword.c_str(), CUPS_MEDIA_FLAGS_DEFAULT, &size))
    return std::nullopt;
  return size;
}

}  // namespace

MediaOffer readMediaOffer(const std::string& queue) {
  static const char* const kNames[] = {"media-supported", "media-default", "media-ready",
                                       "device-uri"};
  MediaOffer offer;
  const Ipp response = queueAttributes(queue, kNames);
  if (!response)
    return offer;
  ipp_attribute_t* supported = find(response, "media-supported");
  offer.known = supported && ippGetCount(supported) > 0;
  SupportedMedia media = supportedMedia(supported);
  offer.listed = std::move(media.named);
  offer.customMin = media.customMin;
  offer.customMax = media.customMax;
  const auto defaults = mediaOf(find(response, "media-default"));
  if (!defaults.empty())
    offer.defaultMedium = defaults.front();
  offer.ready = mediaOf(find(response, "media-ready"));
  const auto device = strings(find(response, "device-uri"));
  if (offer.known && !device.empty()) {
    if (const auto printer = readPrinterMedia(device.front()))
      return takenByPrinter(std::move(offer), *printer);
  }
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
  return pointsOf(MediaSize{size->width, size->length});
}

}  // namespace tovanel
