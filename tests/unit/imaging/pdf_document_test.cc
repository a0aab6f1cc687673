// PDF documents: which are opened, their pages measured in order, and pages drawn as vectors.
#include "imaging/pdf_document.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include "unit/imaging/document_pages.h"

namespace tovanel {
namespace {

using testing::Bytes;

Bytes bytesOf(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

// A 4 x 6 inch label: a line of text, bars, and a 40 x 30 photo that cairo keeps as its JPEG.
Bytes labelPdf() {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, false, 8, 40, 30);
  gdk_pixbuf_fill(pixbuf, 0x3366ccff);
  gchar* jpeg = nullptr;
  gsize size = 0;
  gdk_pixbuf_save_to_buffer(pixbuf, &jpeg, &size, "jpeg", nullptr, nullptr);
  g_object_unref(pixbuf);
  const CairoSurface photo(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 40, 30));
  cairo_surface_set_mime_data(photo.get(), CAIRO_MIME_TYPE_JPEG,
                              reinterpret_cast<unsigned char*>(jpeg), size, g_free, jpeg);
  return testing::cairoPdf({{288, 432}}, [&](cairo_t* context, int) {
    cairo_select_font_face(context, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_move_to(context, 24, 60);
    cairo_show_text(context, "TOVANEL-4711");
    for (int bar = 0; bar < 40; ++bar)
      cairo_rectangle(context, 24 + 6 * bar, 150, 1 + bar % 3, 100);
    cairo_fill(context);
    cairo_set_source_surface(context, photo.get(), 24, 300);
    cairo_paint(context);
  });
}

// Pages of these sizes, each painted black all over.
Bytes blackPages(const std::vector<PaperSize>& sizes) {
  return testing::cairoPdf(sizes, [](cairo_t* context, int) { cairo_paint(context); });
}

// The document after `qpdf --encrypt USER owner 256`.
Bytes encrypted(const Bytes& pdf, const std::string& user) {
  const testing::TemporaryFolder folder;
  testing::runShell("qpdf --encrypt '" + user + "' owner 256 -- " + folder.write("in.pdf", pdf) +
                    " " + folder.file("out.pdf"));
  return bytesOf(testing::readFile(folder.file("out.pdf")));
}

// What opening a document gave: the failure, or the size of each page in order.
struct Opened {
  PdfFailure failure = PdfFailure::none;
  std::vector<PaperSize> pages{};

  friend bool operator==(const Opened&, const Opened&) = default;
};

// Tests that whole documents open with every page in order, and that cut, damaged, locked,
// empty, long, oversize documents and those with oversize pictures are refused.
TEST(PdfDocument, OpensWholeDocumentsAndRefusesTheRest) {
  const Bytes label = labelPdf(), three = blackPages({{200, 300}, {300, 200}, {400, 400}});
  const std::string text(label.begin(), label.end()), end = text.substr(text.rfind("startxref"));
  // Every object eight bytes further on, the table where "startxref" says and left as it was.
  std::string moved = text, escaped = text;
  moved.insert(text.find('\n') + 1, "% moved\n");
  const size_t table = std::stoul(end.substr(10));  // after "startxref\n"
  moved.replace(moved.rfind("startxref\n") + 10, std::to_string(table).size(),
                std::to_string(table + 8));
  // The photo's subtype, escaped as poppler reads it, in the same number of bytes.
  escaped.replace(escaped.find("   /Subtype /Image"), 18, "  /Subtype/Im#61ge");
  // No pages: a catalogue (at 9) and an empty page tree (at 58), then the table.
  const std::string empty =
      "%PDF-1.4\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n2 0 obj\n<< /Type /Pages "
      "/Kids [] /Count 0 >>\nendobj\nxref\n0 3\n0000000000 65535 f \n0000000009 00000 n \n"
      "0000000058 00000 n \ntrailer\n<< /Size 3 /Root 1 0 R >>\nstartxref\n110\n%%EOF\n";
  struct Row {
    const char* name = "";
    Bytes bytes{};
    PdfLimits limits{};
    Opened expect{};
  };
  using enum PdfFailure;
  const Row rows[] = {
      {.name = "a label", .bytes = label, .expect = {.pages = {{288, 432}}}},
      {.name = "three pages in order, the page limit",
       .bytes = three,
       .limits = {.maxPages = 3},
       .expect = {.pages = {{200, 300}, {300, 200}, {400, 400}}}},
      {.name = "a page over it",
       .bytes = three,
       .limits = {.maxPages = 2},
       .expect = {tooManyPages}},
      {.name = "1,001 pages",
       .bytes = blackPages(std::vector<PaperSize>(1001, {9, 9})),
       .expect = {tooManyPages}},
      {.name = "no pages", .bytes = bytesOf(empty), .expect = {noPages}},
      {.name = "white space after the end",
       .bytes = bytesOf(text + "\r\n"),
       .expect = {.pages = {{288, 432}}}},
      {.name = "only its owner's password",
       .bytes = encrypted(label, ""),
       .expect = {.pages = {{288, 432}}}},
      {.name = "a password to open it", .bytes = encrypted(label, "user"), .expect = {locked}},
      {.name = "a byte over the limit",
       .bytes = label,
       .limits = {.maxBytes = label.size() - 1},
       .expect = {tooLarge}},
      {.name = "its photo at the pixel budget",
       .bytes = label,
       .limits = {.maxImagePixels = 1200},
       .expect = {.pages = {{288, 432}}}},
      {.name = "a pixel over it",
       .bytes = label,
       .limits = {.maxImagePixels = 1199},
       .expect = {tooLarge}},
      {.name = "a pixel over it, escaped",
       .bytes = bytesOf(escaped),
       .limits = {.maxImagePixels = 1199},
       .expect = {tooLarge}},
      {.name = "cut at a third",
       .bytes = bytesOf(text.substr(0, text.size() / 3)),
       .expect = {damaged}},
      {.name = "cut in the last page",
       .bytes = Bytes(three.begin(), three.end() - 600),
       .expect = {damaged}},
      {.name = "cut before startxref",
       .bytes = bytesOf(text.substr(0, text.size() - end.size())),
       .expect = {damaged}},
      {.name = "cut in %%EOF",
       .bytes = bytesOf(text.substr(0, text.size() - 3)),
       .expect = {damaged}},
      {.name = "its objects moved", .bytes = bytesOf(moved), .expect = {damaged}},
      {.name = "an image", .bytes = bytesOf("\x89PNG\r\n\x1a\n"), .expect = {notPdf}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto result = openPdfDocument(row.bytes, row.limits);
    Opened opened{result.failure};
    for (int i = 0; result.document && i < result.document->pageCount(); ++i)
      opened.pages.push_back(result.document->pageSize(i));
    EXPECT_EQ(opened, row.expect);
  }
}

// The document's page drawn into the frame of a new page, as the print path draws it.
Bytes redrawn(const Bytes& pdf, int index, const PaperSize& frame) {
  const auto opened = openPdfDocument(pdf);
  return testing::cairoPdf({frame}, [&](cairo_t* context, int) {
    if (!opened.document || !opened.document->drawPage(index, context, frame))
      cairo_paint(context);
  });
}

// Tests that a redrawn label keeps its text as text, its bars as vectors (its photo is the
// only picture) and its photo as the JPEG it was.
TEST(PdfDocument, LabelStaysTextVectorsAndItsJpeg) {
  const testing::TemporaryFolder folder;
  const std::string file = folder.write("label.pdf", redrawn(labelPdf(), 0, {288, 432}));
  const auto run = [&](const std::string& command) { return testing::runShell(command).output; };
  EXPECT_EQ(run("pdfimages -list " + file + " | awk 'NR > 2 {print $4 $5 $9}'"), "4030jpeg\n");
  EXPECT_EQ(run("pdftotext " + file + " - | head -n 1"), "TOVANEL-4711\n");
  EXPECT_EQ(run("pdffonts " + file + " | grep -c ' yes '"), "1\n");
}

// Tests that each page is fitted into the frame as an image is: scaled with its aspect ratio
// kept, centred, never turned (a turned page would show its ink the other way round).
TEST(PdfDocument, PagesFittedCentredNeverTurned) {
  const Bytes three = blackPages({{200, 300}, {300, 200}, {400, 400}});
  const std::array<int, 4> boxes[] = {{0, 0, 288, 432}, {0, 120, 288, 312}, {0, 72, 288, 360}};
  for (int page = 0; page < 3; ++page)
    EXPECT_EQ(testing::inkBox(testing::greyPage(redrawn(three, page, {288, 432}), 72)), boxes[page])
        << page;
}

}  // namespace
}  // namespace tovanel
