// An SVG drawing received as bytes: read with nothing but those bytes, measured, and drawn
// as vectors into a cairo context.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "base/units.h"
#include "imaging/image_decoding.h"

namespace tovanel {

struct SvgLimits {
  size_t maxBytes = size_t{64} << 20;  // as large as a channel message may be
  ImageLimits pictures{};              // each picture carried inside the drawing
};

enum class SvgFailure {
  none,
  tooLarge,    // more bytes than the limit, or a picture inside it over the picture limits
  unreadable,  // not an SVG document librsvg can read
  noSize,      // neither a width and height nor a view box says how large it is
};

class SvgDocument;

struct SvgOpenResult {
  std::unique_ptr<SvgDocument> document;  // set exactly when failure is none
  SvgFailure failure = SvgFailure::none;
};

// Whether the bytes look like an SVG document: an "<svg" element near the start, after
// whatever an XML file may begin with (a declaration, comments, a doctype).
bool looksLikeSvg(std::span<const uint8_t> bytes);

// Reads the bytes with no base file or address, so that a reference to any other file or
// address draws nothing (only "data:" references, which are part of the bytes, are read, and
// only once each picture in them is measured within the picture limits).
SvgOpenResult openSvgDocument(std::span<const uint8_t> bytes, const SvgLimits& limits = {});

class SvgDocument {
 public:
  ~SvgDocument();
  SvgDocument(const SvgDocument&) = delete;
  SvgDocument& operator=(const SvgDocument&) = delete;

  // In points: the width and height where both are lengths (a CSS pixel is 3/4 point), else
  // the view box's, its units taken as CSS pixels.
  PaperSize size() const;
  // Draws the drawing into `frame` (its top left corner at the context's origin) as an image
  // is fitted: scaled to fit with its aspect ratio kept, centred, never turned. The context's
  // state is restored afterwards. False when librsvg or cairo reports an error.
  bool draw(cairo_t* context, const PaperSize& frame) const;

 private:
  struct Handle;
  SvgDocument(std::unique_ptr<Handle> handle, PaperSize size);
  friend SvgOpenResult openSvgDocument(std::span<const uint8_t>, const SvgLimits&);

  std::unique_ptr<Handle> handle_;
  PaperSize size_;
};

}  // namespace tovanel
