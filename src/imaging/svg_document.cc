#include "imaging/svg_document.h"

#include <librsvg/rsvg.h>

#include <cmath>
#include <string_view>

#include "imaging/fitted_drawing.h"
#include "imaging/glib_handles.h"
#include "imaging/svg_picture_budget.h"

namespace tovanel {
namespace {

// Lengths are measured at the CSS pixel's 96 per inch, so a "px" is 3/4 of a point.
constexpr double kCssPixelsPerInch = 96;
constexpr double kPointsPerCssPixel = 72 / kCssPixelsPerInch;

bool isUsableSize(double width, double height) {
  return std::isfinite(width) && std::isfinite(height) && width > 0 && height > 0;
}

// The drawing's size in CSS pixels, or 0 x 0 when neither its width and height nor its view
// box gives one. Widths in percent say nothing on their own: they are relative to a viewport.
PaperSize intrinsicSize(RsvgHandle* handle) {
  gboolean hasWidth = false, hasHeight = false, hasViewBox = false;
  RsvgLength width{}, height{};
  RsvgRectangle viewBox{};
  rsvg_handle_get_intrinsic_dimensions(handle, &hasWidth, &width, &hasHeight, &height, &hasViewBox,
                                       &viewBox);
  double pixelsWide = 0, pixelsHigh = 0;
  if (hasWidth && hasHeight && width.unit != RSVG_UNIT_PERCENT &&
      height.unit != RSVG_UNIT_PERCENT &&
      rsvg_handle_get_intrinsic_size_in_pixels(handle, &pixelsWide, &pixelsHigh) &&
      isUsableSize(pixelsWide, pixelsHigh))
    return {pixelsWide, pixelsHigh};
  if (hasViewBox && isUsableSize(viewBox.width, viewBox.height))
    return {viewBox.width, viewBox.height};
  return {};
}

// Skips what may come before an XML document's root: a byte order mark, white space, the
// declaration, processing instructions, comments and a doctype.
std::string_view rootOf(std::string_view text) {
  if (text.starts_with("\xef\xbb\xbf"))
    text.remove_prefix(3);
  while (true) {
    const size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos)
      return {};
    text.remove_prefix(start);
    std::string_view end;
    if (text.starts_with("<?"))
      end = "?>";
    else if (text.starts_with("<!--"))
      end = "-->";
    else if (text.starts_with("<!DOCTYPE"))
      end = text.find('[') < text.find('>') ? "]>" : ">";
    else
      return text;
    const size_t after = text.find(end);
    if (after == std::string_view::npos)
      return {};
    text.remove_prefix(after + end.size());
  }
}

}  // namespace

struct SvgDocument::Handle {
  std::unique_ptr<RsvgHandle, ObjectRelease> svg;
};

bool looksLikeSvg(std::span<const uint8_t> bytes) {
  const std::string_view root = rootOf({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
  return root.starts_with("<svg") && root.size() > 4 &&
         std::string_view(" \t\r\n/>").find(root[4]) != std::string_view::npos;
}

SvgOpenResult openSvgDocument(std::span<const uint8_t> bytes, const SvgLimits& limits) {
  if (bytes.size() > limits.maxBytes ||
      !embeddedPicturesWithinBudget({reinterpret_cast<const char*>(bytes.data()), bytes.size()},
                                    limits.pictures))
    return {nullptr, SvgFailure::tooLarge};
  auto handle = std::make_unique<SvgDocument::Handle>();
  GError* error = nullptr;
  // From the bytes alone: without a base file or address librsvg loads no reference.
  handle->svg.reset(rsvg_handle_new_from_data(bytes.data(), bytes.size(), &error));
  const std::unique_ptr<GError, ErrorRelease> owned(error);
  if (!handle->svg)
    return {nullptr, SvgFailure::unreadable};
  rsvg_handle_set_dpi(handle->svg.get(), kCssPixelsPerInch);
  const PaperSize pixels = intrinsicSize(handle->svg.get());
  if (!isUsableSize(pixels.width, pixels.height))
    return {nullptr, SvgFailure::noSize};
  const PaperSize size{pixels.width * kPointsPerCssPixel, pixels.height * kPointsPerCssPixel};
  return {std::unique_ptr<SvgDocument>(new SvgDocument(std::move(handle), size)), SvgFailure::none};
}

SvgDocument::SvgDocument(std::unique_ptr<Handle> handle, PaperSize size)
    : handle_(std::move(handle)), size_(size) {}
SvgDocument::~SvgDocument() = default;

PaperSize SvgDocument::size() const {
  return size_;
}

bool SvgDocument::draw(cairo_t* context, const PaperSize& frame) const {
  cairo_save(context);
  fitIntoFrame(context, frame, size_);
  const RsvgRectangle viewport{0, 0, size_.width, size_.height};
  GError* error = nullptr;
  const bool drawn = rsvg_handle_render_document(handle_->svg.get(), context, &viewport, &error);
  const std::unique_ptr<GError, ErrorRelease> owned(error);
  cairo_restore(context);
  return drawn && cairo_status(context) == CAIRO_STATUS_SUCCESS;
}

}  // namespace tovanel
