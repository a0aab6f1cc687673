// Which medium a page goes on: one the printer has, chosen before anything is spooled, so
// that no job is sent with options the printer cannot print.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/print_job_settings.h"

namespace tovanel {

// A medium by its name (a PWG self-describing keyword such as "na_letter_8.5x11in"),
// measured in points.
struct Medium {
  std::string name;
  PaperSize size;

  friend bool operator==(const Medium&, const Medium&) = default;
};

// What a queue offers, as it says so itself.
struct MediaOffer {
  std::vector<Medium> listed;           // every named size, in the queue's order
  std::optional<PaperSize> customMin;   // custom sizes from here ...
  std::optional<PaperSize> customMax;   // ... to here, both ways
  std::optional<Medium> defaultMedium;  // "media-default"
  std::vector<Medium> ready;            // loaded now ("media-ready")
  bool known = false;                   // false: the queue said nothing about its media
};

// Sizes closer than this (half a millimetre) are one size.
inline constexpr double kSameSizeTolerance = 72 * 0.5 / 25.4;

struct MediaChoice {
  std::optional<Medium> medium;  // sent by name; nothing: the page as a custom size
  PaperSize sheet;               // the PDF page: the medium's size, or the page itself

  friend bool operator==(const MediaChoice&, const MediaChoice&) = default;
};

// In this order: a listed size equal to `page`; the page as a custom size where the
// queue takes it; the default medium, then a loaded one, then the smallest listed one
// that holds the page unrotated, on which it is printed at true size, centred. Nothing
// when no medium holds it. A queue that said nothing of its media gets the custom size.
std::optional<MediaChoice> chooseMedia(const MediaOffer& offer, const PaperSize& page);

}  // namespace tovanel
