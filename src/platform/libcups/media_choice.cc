#include "platform/libcups/media_choice.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace tovanel {
namespace {

bool sameSize(const MediaSize& a, const MediaSize& b) {
  return std::abs(a.width - b.width) <= kSameSizeTolerance &&
         std::abs(a.height - b.height) <= kSameSizeTolerance;
}

bool holds(const MediaSize& sheet, const MediaSize& page) {
  return sheet.width + kSameSizeTolerance >= page.width &&
         sheet.height + kSameSizeTolerance >= page.height;
}

// Exactly inside the range: a size past it by any amount is cancelled by the printer.
bool within(const MediaSize& size, const std::optional<MediaSize>& min,
            const std::optional<MediaSize>& max) {
  return min && max && min->width <= size.width && min->height <= size.height &&
         size.width <= max->width && size.height <= max->height;
}

MediaSize turn(const MediaSize& size) {
  return {size.height, size.width};
}

MediaChoice onMedium(const Medium& medium, bool turned) {
  return MediaChoice{medium, pointsOf(medium.size), turned};
}

const Medium* firstEqual(const std::vector<Medium>& media, const MediaSize& page) {
  for (const Medium& medium : media) {
    if (sameSize(medium.size, page))
      return &medium;
  }
  return nullptr;
}

// The smallest by area of `media` that holds the page.
const Medium* smallestHolding(const std::vector<Medium>& media, const MediaSize& page) {
  const Medium* best = nullptr;
  const auto area = [](const Medium& medium) {
    return int64_t{medium.size.width} * medium.size.height;
  };
  for (const Medium& medium : media) {
    if (holds(medium.size, page) && (!best || area(medium) < area(*best)))
      best = &medium;
  }
  return best;
}

const Medium* listedEqual(const MediaOffer& offer, const MediaSize& page) {
  const Medium* loaded = firstEqual(offer.ready, page);
  return loaded ? loaded : firstEqual(offer.listed, page);
}

// An envelope is a poor sheet for a label: the paper people load comes first.
const Medium* sheetHolding(const MediaOffer& offer, const MediaSize& page) {
  if (offer.defaultMedium && holds(offer.defaultMedium->size, page))
    return &*offer.defaultMedium;
  const Medium* loaded = smallestHolding(offer.ready, page);
  return loaded ? loaded : smallestHolding(offer.listed, page);
}

bool takes(const PrinterMedia& printer, const MediaSize& size) {
  return std::ranges::find(printer.sizes, size) != printer.sizes.end() ||
         within(size, printer.customMin, printer.customMax);
}

bool isPrintableLength(double points) {
  return std::isfinite(points) && points >= kSmallestMediumSide && points <= kLargestMediumSide;
}

}  // namespace

bool isPrintablePageSize(const PaperSize& page) {
  return isPrintableLength(page.width) && isPrintableLength(page.height);
}

MediaOffer takenByPrinter(MediaOffer offer, const PrinterMedia& printer) {
  std::erase_if(offer.listed, [&](const Medium& medium) { return !takes(printer, medium.size); });
  if (offer.defaultMedium && !takes(printer, offer.defaultMedium->size))
    offer.defaultMedium.reset();
  if (offer.customMin && offer.customMax && printer.customMin && printer.customMax) {
    offer.customMin = MediaSize{std::max(offer.customMin->width, printer.customMin->width),
                                std::max(offer.customMin->height, printer.customMin->height)};
    offer.customMax = MediaSize{std::min(offer.customMax->width, printer.customMax->width),
                                std::min(offer.customMax->height, printer.customMax->height)};
  } else {
    offer.customMin.reset();
    offer.customMax.reset();
  }
  if (!printer.ready.empty()) {
    offer.ready.clear();
    for (const Medium& medium : offer.listed) {
      if (std::ranges::find(printer.ready, medium.size) != printer.ready.end())
        offer.ready.push_back(medium);
    }
  } else {
    std::erase_if(offer.ready, [&](const Medium& medium) { return !takes(printer, medium.size); });
  }
  return offer;
}

std::optional<MediaChoice> chooseMedia(const MediaOffer& offer, const PaperSize& page) {
  if (!offer.known)
    return MediaChoice{std::nullopt, page, false};
  const MediaSize size = mediaSizeOf(page);
  if (const Medium* medium = listedEqual(offer, size))
    return onMedium(*medium, false);
  if (const Medium* medium = listedEqual(offer, turn(size)))
    return onMedium(*medium, true);
  if (within(size, offer.customMin, offer.customMax))
    return MediaChoice{std::nullopt, page, false};
  if (const Medium* medium = sheetHolding(offer, size))
    return onMedium(*medium, false);
  if (const Medium* medium = sheetHolding(offer, turn(size)))
    return onMedium(*medium, true);
  return std::nullopt;
}

}  // namespace tovanel
