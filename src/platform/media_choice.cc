#include "platform/media_choice.h"

#include <cmath>

namespace tovanel {
namespace {

bool sameSize(const PaperSize& a, const PaperSize& b) {
  return std::abs(a.width - b.width) <= kSameSizeTolerance &&
         std::abs(a.height - b.height) <= kSameSizeTolerance;
}

bool holds(const PaperSize& sheet, const PaperSize& page) {
  return sheet.width + kSameSizeTolerance >= page.width &&
         sheet.height + kSameSizeTolerance >= page.height;
}

bool customSizeTakes(const MediaOffer& offer, const PaperSize& page) {
  return offer.customMin && offer.customMax && holds(page, *offer.customMin) &&
         holds(*offer.customMax, page);
}

MediaChoice onMedium(const Medium& medium) {
  return MediaChoice{medium, medium.size};
}

// The smallest by area of `media` that holds the page.
const Medium* smallestHolding(const std::vector<Medium>& media, const PaperSize& page) {
  const Medium* best = nullptr;
  for (const Medium& medium : media) {
    if (holds(medium.size, page) &&
        (!best || medium.size.width * medium.size.height < best->size.width * best->size.height))
      best = &medium;
  }
  return best;
}

}  // namespace

std::optional<MediaChoice> chooseMedia(const MediaOffer& offer, const PaperSize& page) {
  if (!offer.known)
    return MediaChoice{std::nullopt, page};
  for (const Medium& medium : offer.listed) {
    if (sameSize(medium.size, page))
      return onMedium(medium);
  }
  if (customSizeTakes(offer, page))
    return MediaChoice{std::nullopt, page};
  // An envelope is a poor sheet for a label: the paper people load comes first.
  if (offer.defaultMedium && holds(offer.defaultMedium->size, page))
    return onMedium(*offer.defaultMedium);
  if (const Medium* loaded = smallestHolding(offer.ready, page))
    return onMedium(*loaded);
  if (const Medium* listed = smallestHolding(offer.listed, page))
    return onMedium(*listed);
  return std::nullopt;
}

}  // namespace tovanel
