// Which medium a page goes on: one the printer has, chosen before anything is spooled, so
// that no job is sent with options the printer cannot print.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/print_job_settings.h"

namespace tovanel {

// A medium by its name (a PWG self-describing keyword such as "na_letter_8.5x11in").
struct Medium {
  std::string name;
  MediaSize size;

  friend bool operator==(const Medium&, const Medium&) = default;
};

// What a queue offers, reduced to what its printer takes.
struct MediaOffer {
  std::vector<Medium> listed{};           // every named size, in the queue's order
  std::optional<MediaSize> customMin{};   // custom sizes from here ...
  std::optional<MediaSize> customMax{};   // ... to here, both bounds included
  std::optional<Medium> defaultMedium{};  // "media-default"
  std::vector<Medium> ready{};            // loaded now ("media-ready"), each one listed
  bool known = false;                     // false: the queue said nothing about its media

  friend bool operator==(const MediaOffer&, const MediaOffer&) = default;
};

// No real medium is larger than 200 inches a side, or smaller than a point (0.35 mm).
inline constexpr double kLargestMediumSide = 200 * 72.0;
inline constexpr double kSmallestMediumSide = 1.0;

// True for a finite size between the smallest and the largest medium each way: the only
// pages the media choice, the job's options and the page's PDF are made for.
bool isPrintablePageSize(const PaperSize& page);

// What the printer behind a queue says it takes and has loaded. A queue made for a
// driverless printer lists its sizes as its driver measured them, and that driver rounds
// some to a nearby standard size (4 x 6.5 in became 102 x 165 mm), which the printer then
// refuses.
struct PrinterMedia {
  std::vector<MediaSize> sizes{};
  std::optional<MediaSize> customMin{};
  std::optional<MediaSize> customMax{};
  std::vector<MediaSize> ready{};
};

// `offer` reduced to what `printer` takes: a listed size only where the printer lists
// exactly that size or takes it as a custom one, the default only if it stays listed, the
// custom range where both allow it, and the listed media the printer has loaded (the
// queue's own word on that only when the printer says nothing).
MediaOffer takenByPrinter(MediaOffer offer, const PrinterMedia& printer);

// Sizes at most this far apart each way (half a millimetre) are one size.
inline constexpr int kSameSizeTolerance = 50;

struct MediaChoice {
  std::optional<Medium> medium;  // sent by name; nothing: the page as a custom size
  PaperSize sheet;               // the PDF page: the medium's size, or the page itself
  bool turned = false;           // the page goes on the sheet a quarter turn round

  friend bool operator==(const MediaChoice&, const MediaChoice&) = default;
};

// In this order: a listed size equal to `page` (a loaded one first), then one equal to
// the page turned; the page as a custom size where it lies inside the queue's range; the
// default medium, then a loaded one, then the smallest listed one that holds the page
// upright, and then the same for the page turned, on which it is printed at true size,
// centred. Nothing when no medium holds it. A queue that said nothing of its media gets
// the custom size.
std::optional<MediaChoice> chooseMedia(const MediaOffer& offer, const PaperSize& page);

}  // namespace tovanel
