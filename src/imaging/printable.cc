#include "imaging/printable.h"

#include <algorithm>

#include "imaging/jpeg_passthrough.h"
#include "imaging/pdf_document.h"
#include "imaging/svg_document.h"

namespace tovanel {
namespace {

class JpegPage final : public Printable {
 public:
  explicit JpegPage(std::unique_ptr<PassthroughJpeg> jpeg) : jpeg_(std::move(jpeg)) {}
  PaperSize size() const override { return {double(jpeg_->width()), double(jpeg_->height())}; }
  bool drawPage(int, cairo_t* context, const PaperSize& frame, ImageScaling) const override {
    return jpeg_->draw(context, frame);
  }

 private:
  std::unique_ptr<PassthroughJpeg> jpeg_;
};

class PdfPages final : public Printable {
 public:
  explicit PdfPages(std::unique_ptr<PdfDocument> document) : document_(std::move(document)) {}
  int pageCount() const override { return document_->pageCount(); }
  PaperSize size() const override { return document_->pageSize(0); }
  bool drawPage(int index, cairo_t* context, const PaperSize& frame, ImageScaling) const override {
    return document_->drawPage(index, context, frame);
  }

 private:
  std::unique_ptr<PdfDocument> document_;
};

class SvgPage final : public Printable {
 public:
  explicit SvgPage(std::unique_ptr<SvgDocument> drawing) : drawing_(std::move(drawing)) {}
  PaperSize size() const override { return drawing_->size(); }
  bool drawPage(int, cairo_t* context, const PaperSize& frame, ImageScaling) const override {
    return drawing_->draw(context, frame);
  }

 private:
  std::unique_ptr<SvgDocument> drawing_;
};

template <typename Page, typename Opened>
DecodedPrintable opened(Opened result, bool refused) {
  if (!result.document)
    return {nullptr, refused ? PrintableFailure::refused : PrintableFailure::unsupported};
  return {std::make_unique<Page>(std::move(result.document)), PrintableFailure::none};
}

DecodedPrintable decoded(std::span<const uint8_t> bytes, const ImageLimits& limits) {
  auto image = decodeImageBytes(bytes, limits);
  if (!image.image) {
    return {nullptr, image.failure == ImageDecodeFailure::unsupportedFormat
                         ? PrintableFailure::unsupported
                         : PrintableFailure::refused};
  }
  return {std::make_unique<RasterPage>(std::move(image.image)), PrintableFailure::none};
}

}  // namespace

PaperSize RasterPage::size() const {
  return {double(image_->width()), double(image_->height())};
}

bool RasterPage::drawPage(int, cairo_t* context, const PaperSize& frame,
                          ImageScaling scaling) const {
  cairo_save(context);
  const ImagePlacement placement = fitImage(frame, size(), scaling);
  cairo_translate(context, placement.x, placement.y);
  cairo_scale(context, placement.scaleX, placement.scaleY);
  cairo_set_source_surface(context, image_->surface(), 0, 0);
  // In PDF the filter becomes the image's /Interpolate flag for the printer's renderer.
  cairo_pattern_set_filter(cairo_get_source(context),
                           smoothedAt(std::min(placement.scaleX, placement.scaleY))
                               ? CAIRO_FILTER_GOOD
                               : CAIRO_FILTER_NEAREST);
  cairo_paint(context);
  cairo_restore(context);
  return cairo_status(context) == CAIRO_STATUS_SUCCESS;
}

DecodedPrintable decodePrintable(std::span<const uint8_t> bytes, const ImageLimits& limits) {
  if (looksLikePdf(bytes)) {
    auto document = openPdfDocument(bytes);
    const bool refused = document.failure != PdfFailure::notPdf;
    return opened<PdfPages>(std::move(document), refused);
  }
  if (imageLoaderFor(bytes) == "jpeg") {
    auto jpeg = openPassthroughJpeg(bytes, limits);
    if (jpeg.image)
      return {std::make_unique<JpegPage>(std::move(jpeg.image)), PrintableFailure::none};
    if (jpeg.failure != JpegPassthroughFailure::needsDecoding)
      return {nullptr, PrintableFailure::refused};
    return decoded(bytes, limits);
  }
  if (looksLikeSvg(bytes)) {
    auto drawing = openSvgDocument(bytes);
    return opened<SvgPage>(std::move(drawing), true);
  }
  return decoded(bytes, limits);
}

}  // namespace tovanel
