// A PDF document received as bytes: checked whole before it is used, measured page by page,
// and drawn page by page as vectors into a cairo context.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "base/units.h"

namespace tovanel {

struct PdfLimits {
  size_t maxBytes = size_t{64} << 20;  // as large as a channel message may be
  int maxPages = 1000;
  int64_t maxImagePixels = 100'000'000;  // each picture in it, as for images
};

enum class PdfFailure {
  none,
  notPdf,        // the bytes do not start as a PDF does
  tooLarge,      // more bytes than the limit, or a picture in it of more pixels
  damaged,       // cut short, its cross-reference broken, or poppler cannot read it
  locked,        // opening it needs a password
  noPages,       // a document with nothing to print
  tooManyPages,  // more pages than the limit; refused before any page was read
};

// Whether bytes start as a PDF does ("%PDF-"), so documents are told from images by bytes.
bool looksLikePdf(std::span<const uint8_t> bytes);

class PdfDocument;

struct PdfOpenResult {
  std::unique_ptr<PdfDocument> document;  // set exactly when failure is none
  PdfFailure failure = PdfFailure::none;
};

// Opens a copy of the bytes, and nothing else: no file, no password. A document is opened
// only when its end is whole (the last "%%EOF", the cross-reference section that "startxref"
// names, and the objects that section lists), every picture in it is measured within the
// budget, poppler reads it, it has 1 to maxPages pages, and every page has a finite, positive
// size.
PdfOpenResult openPdfDocument(std::span<const uint8_t> bytes, const PdfLimits& limits = {});

class PdfDocument {
 public:
  ~PdfDocument();
  PdfDocument(const PdfDocument&) = delete;
  PdfDocument& operator=(const PdfDocument&) = delete;

  int pageCount() const;
  // The page's size in points as it is shown: its crop box, turned by its own /Rotate.
  // Needs 0 <= index < pageCount().
  PaperSize pageSize(int index) const;
  // Draws the page into `frame` (its top left corner at the context's origin) as an image is
  // fitted: scaled to fit with its aspect ratio kept, centred, never turned. Text, lines and
  // images stay what they are in the document. The context's state is restored afterwards.
  // False when cairo reports an error. Needs 0 <= index < pageCount().
  bool drawPage(int index, cairo_t* context, const PaperSize& frame) const;

 private:
  struct Handles;
  explicit PdfDocument(std::unique_ptr<Handles> handles);
  friend PdfOpenResult openPdfDocument(std::span<const uint8_t>, const PdfLimits&);

  std::unique_ptr<Handles> handles_;
};

}  // namespace tovanel
