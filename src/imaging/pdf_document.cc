#include "imaging/pdf_document.h"

#include <poppler.h>

#include <cmath>
#include <optional>
#include <string_view>
#include <vector>

#include "imaging/fitted_drawing.h"
#include "imaging/glib_handles.h"
#include "imaging/pdf_image_budget.h"

namespace tovanel {
namespace {

bool isWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\0';
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Reads a PDF's end from a position on, as its tokens are written there.
struct Cursor {
  std::string_view text;
  size_t at = 0;

  void skipWhiteSpace() {
    while (at < text.size() && isWhiteSpace(text[at]))
      ++at;
  }
  // A whole number of at most ten digits, after white space.
  std::optional<uint64_t> number() {
    skipWhiteSpace();
    uint64_t value = 0;
    const size_t start = at;
    while (at < text.size() && isDigit(text[at]) && at - start < 10)
      value = value * 10 + static_cast<uint64_t>(text[at++] - '0');
    return at > start ? std::optional(value) : std::nullopt;
  }
  bool word(std::string_view expected) {
    skipWhiteSpace();
    if (!text.substr(at).starts_with(expected))
      return false;
    at += expected.size();
    return true;
  }
};

// An object begins at `offset` ("12 0 obj"), the one numbered `number` when that is given.
bool objectStartsAt(std::string_view text, uint64_t offset, std::optional<uint64_t> number) {
  if (offset >= text.size())
    return false;
  Cursor cursor{text, static_cast<size_t>(offset)};
  const auto found = cursor.number();
  return found && (!number || *found == *number) && cursor.number() && cursor.word("obj");
}

// The cross-reference section at `offset`: a table whose objects in use all begin where it
// says, or a cross-reference stream's object. A file whose bytes moved or went fails here,
// where poppler would rebuild the table in silence and print what it could.
bool crossReferenceIsSound(std::string_view text, uint64_t offset) {
  if (offset >= text.size())
    return false;
  Cursor cursor{text, static_cast<size_t>(offset)};
  if (!cursor.word("xref"))
    return objectStartsAt(text, offset, std::nullopt);
  while (!cursor.word("trailer")) {
    const auto first = cursor.number();
    const auto count = cursor.number();
    if (!first || !count)
      return false;
    for (uint64_t entry = 0; entry < *count; ++entry) {
      const auto at = cursor.number();
      const bool generation = cursor.number().has_value();
      if (!at || !generation)
        return false;
      if (cursor.word("n")) {
        if (!objectStartsAt(text, *at, *first + entry))
          return false;
      } else if (!cursor.word("f")) {
        return false;
      }
    }
  }
  return true;
}

// The file ends as a PDF ends: "startxref", the offset of a sound cross-reference section,
// and "%%EOF", with nothing but white space after it. A cut anywhere else loses that end.
bool endIsWhole(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && isWhiteSpace(text[end - 1]))
    --end;
  if (!text.substr(0, end).ends_with("%%EOF"))
    return false;
  size_t at = end - 5;
  while (at > 0 && isWhiteSpace(text[at - 1]))
    --at;
  const size_t digitsEnd = at;
  while (at > 0 && isDigit(text[at - 1]) && digitsEnd - at < 10)
    --at;
  Cursor offset{text, at};
  const auto sectionAt = offset.number();
  if (!sectionAt || offset.at != digitsEnd)
    return false;
  while (at > 0 && isWhiteSpace(text[at - 1]))
    --at;
  return text.substr(0, at).ends_with("startxref") && *sectionAt < at &&
         crossReferenceIsSound(text.substr(0, at), *sectionAt);
}

bool isUsableSize(double width, double height) {
  return std::isfinite(width) && std::isfinite(height) && width > 0 && height > 0;
}

}  // namespace

struct PdfDocument::Handles {
  std::unique_ptr<PopplerDocument, ObjectRelease> document;
  std::vector<std::unique_ptr<PopplerPage, ObjectRelease>> pages;
  std::vector<PaperSize> sizes;
};

bool looksLikePdf(std::span<const uint8_t> bytes) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return text.starts_with("%PDF-");
}

PdfOpenResult openPdfDocument(std::span<const uint8_t> bytes, const PdfLimits& limits) {
  if (!looksLikePdf(bytes))
    return {nullptr, PdfFailure::notPdf};
  if (bytes.size() > limits.maxBytes)
    return {nullptr, PdfFailure::tooLarge};
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (!endIsWhole(text))
    return {nullptr, PdfFailure::damaged};
  if (!imagesWithinBudget(text, limits.maxImagePixels))
    return {nullptr, PdfFailure::tooLarge};

  auto handles = std::make_unique<PdfDocument::Handles>();
  {
    // poppler reads the copy lazily, for as long as the document lives.
    const std::unique_ptr<GBytes, BytesRelease> copy(g_bytes_new(bytes.data(), bytes.size()));
    GError* error = nullptr;
    handles->document.reset(poppler_document_new_from_bytes(copy.get(), nullptr, &error));
    const std::unique_ptr<GError, ErrorRelease> owned(error);
    if (!handles->document) {
      const bool locked =
          error && error->domain == POPPLER_ERROR && error->code == POPPLER_ERROR_ENCRYPTED;
      return {nullptr, locked ? PdfFailure::locked : PdfFailure::damaged};
    }
  }
  // The count comes from the page tree's root; no page is read before it is checked.
  const int count = poppler_document_get_n_pages(handles->document.get());
  if (count <= 0)
    return {nullptr, PdfFailure::noPages};
  if (count > limits.maxPages)
    return {nullptr, PdfFailure::tooManyPages};
  for (int index = 0; index < count; ++index) {
    handles->pages.emplace_back(poppler_document_get_page(handles->document.get(), index));
    double width = 0, height = 0;
    if (handles->pages.back())
      poppler_page_get_size(handles->pages.back().get(), &width, &height);
    if (!isUsableSize(width, height))
      return {nullptr, PdfFailure::damaged};
    handles->sizes.push_back({width, height});
  }
  return {std::unique_ptr<PdfDocument>(new PdfDocument(std::move(handles))), PdfFailure::none};
}

PdfDocument::PdfDocument(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}
PdfDocument::~PdfDocument() = default;

int PdfDocument::pageCount() const {
  return static_cast<int>(handles_->pages.size());
}

PaperSize PdfDocument::pageSize(int index) const {
  return handles_->sizes.at(static_cast<size_t>(index));
}

bool PdfDocument::drawPage(int index, cairo_t* context, const PaperSize& frame) const {
  const PaperSize size = pageSize(index);
  cairo_save(context);
  fitIntoFrame(context, frame, size);
  // Nothing of the page outside its own box reaches the frame's margins.
  cairo_rectangle(context, 0, 0, size.width, size.height);
  cairo_clip(context);
  poppler_page_render_for_printing(handles_->pages.at(static_cast<size_t>(index)).get(), context);
  cairo_restore(context);
  return cairo_status(context) == CAIRO_STATUS_SUCCESS;
}

}  // namespace tovanel
