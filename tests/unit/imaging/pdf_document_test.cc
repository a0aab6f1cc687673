// PDF documents: which are opened, their pages measured in order, and pages drawn as vectors.
#include "imaging/pdf_document.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include "unit/imaging/document_pages.h"

namespace tovanel {
namespace {

using testing::Bytes;
using namespace std::string_literals;

Bytes bytesOf(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

// A 4 x 6 inch label as carrier software writes it: a line of text and a Code128 barcode whose
// bars are rectangles.
Bytes vectorLabelPdf(const std::string& text) {
  const testing::TemporaryFolder folder;
  testing::runShell("zint -b 20 --notext --scale=0.5 --height=10 --data='" + text + "' -o '" +
                    folder.file("bars.png") + "'");
  const CairoSurface bars(cairo_image_surface_create_from_png(folder.file("bars.png").c_str()));
  const int width = cairo_image_surface_get_width(bars.get());
  const auto* row = reinterpret_cast<const uint32_t*>(
      cairo_image_surface_get_data(bars.get()) +
      cairo_image_surface_get_height(bars.get()) / 2 * cairo_image_surface_get_stride(bars.get()));
  return testing::cairoPdf({{288, 432}}, [&](cairo_t* context, int) {
    cairo_select_font_face(context, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(context, 24);
    cairo_move_to(context, 24, 60);
    cairo_show_text(context, text.c_str());
    const double module = 240.0 / std::max(width, 1);
    for (int x = 0; x < width && row; ++x)
      if ((row[x] & 0xff) < 128)
        cairo_rectangle(context, 24 + x * module, 150, module, 100);
    cairo_fill(context);
  });
}

// Pages of these sizes, each painted black all over.
Bytes blackPages(const std::vector<PaperSize>& sizes) {
  return testing::cairoPdf(sizes, [](cairo_t* context, int) { cairo_paint(context); });
}

// A PDF written by hand from its objects, with a correct cross-reference table.
Bytes handWrittenPdf(const std::vector<std::string>& objects) {
  std::string pdf = "%PDF-1.4\n", table;
  for (size_t i = 0; i < objects.size(); ++i) {
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", pdf.size());
    table += entry;
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const size_t tableAt = pdf.size();
  pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n" + table +
         "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
         " /Root 1 0 R >>\nstartxref\n" + std::to_string(tableAt) + "\n%%EOF\n";
  return bytesOf(pdf);
}

// The document after `qpdf --encrypt USER OWNER 256`.
Bytes encrypted(const Bytes& pdf, const std::string& user) {
  const testing::TemporaryFolder folder;
  const auto run = testing::runShell("qpdf --encrypt '" + user + "' owner 256 -- " +
                                     folder.write("in.pdf", pdf) + " " + folder.file("out.pdf"));
  return run.status == 0 ? bytesOf(testing::readFile(folder.file("out.pdf"))) : Bytes{};
}

Bytes cut(const Bytes& bytes, size_t size) {
  return Bytes(bytes.begin(), bytes.begin() + std::min(size, bytes.size()));
}

// What opening a document gave: the failure, or the size of each page in order.
struct Opened {
  PdfFailure failure = PdfFailure::none;
  std::vector<PaperSize> pages{};

  friend bool operator==(const Opened&, const Opened&) = default;
};

Opened opened(const Bytes& bytes, const PdfLimits& limits) {
  const auto result = openPdfDocument(bytes, limits);
  Opened outcome{result.failure, {}};
  for (int i = 0; result.document && i < result.document->pageCount(); ++i)
    outcome.pages.push_back(result.document->pageSize(i));
  return outcome;
}

// Tests that whole documents open with every page in order, and that cut, damaged, locked,
// empty, oversize and long documents are refused.
TEST(PdfDocument, OpensWholeDocumentsAndRefusesTheRest) {
  const Bytes label = vectorLabelPdf("TOVANEL-4711");
  const Bytes three = blackPages({{200, 300}, {300, 200}, {400, 400}});
  const std::string text(label.begin(), label.end());
  const size_t startxref = text.rfind("startxref");
  std::string crlf;
  for (const char c : text)
    crlf += c == '\n' ? "\r\n"s : std::string(1, c);
  const std::vector<PaperSize> thousandOne(1001, PaperSize{10, 10});
  const Bytes longDocument = blackPages(thousandOne);
  const std::string pages = "<< /Type /Pages /Kids [] /Count 0 >>";
  // A page holding a 100 x 80 picture, and the same with its subtype's name written escaped.
  const CairoSurface picture(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 100, 80));
  const Bytes photo = testing::cairoPdf({{100, 80}}, [&](cairo_t* context, int) {
    cairo_set_source_surface(context, picture.get(), 0, 0);
    cairo_paint(context);
  });
  std::string escaped(photo.begin(), photo.end());
  escaped.replace(escaped.find("   /Subtype /Image"), 18, "  /Subtype/Im#61ge");
  struct Row {
    const char* name = "";
    Bytes bytes{};
    PdfLimits limits{};
    Opened expect{};
  };
  const Row rows[] = {
      {.name = "a vector label", .bytes = label, .expect = {.pages = {{288, 432}}}},
      {.name = "three pages, in order, at the page limit",
       .bytes = three,
       .limits = {.maxPages = 3},
       .expect = {.pages = {{200, 300}, {300, 200}, {400, 400}}}},
      {.name = "white space after the end",
       .bytes = bytesOf(text + "\r\n\n"),
       .expect = {.pages = {{288, 432}}}},
      {.name = "a password only to change it",
       .bytes = encrypted(three, ""),
       .expect = {.pages = {{200, 300}, {300, 200}, {400, 400}}}},
      {.name = "one page over the limit",
       .bytes = three,
       .limits = {.maxPages = 2},
       .expect = {PdfFailure::tooManyPages}},
      {.name = "1,001 pages", .bytes = longDocument, .expect = {PdfFailure::tooManyPages}},
      {.name = "a byte over the limit",
       .bytes = label,
       .limits = {.maxBytes = label.size() - 1},
       .expect = {PdfFailure::tooLarge}},
      {.name = "a picture within the pixel budget",
       .bytes = photo,
       .limits = {.maxImagePixels = 8000},
       .expect = {.pages = {{100, 80}}}},
      {.name = "a picture a pixel over it",
       .bytes = photo,
       .limits = {.maxImagePixels = 7999},
       .expect = {PdfFailure::tooLarge}},
      {.name = "the same, its subtype written with an escape",
       .bytes = bytesOf(escaped),
       .limits = {.maxImagePixels = 7999},
       .expect = {PdfFailure::tooLarge}},
      {.name = "locked with a password",
       .bytes = encrypted(three, "user"),
       .expect = {PdfFailure::locked}},
      {.name = "no pages",
       .bytes = handWrittenPdf({"<< /Type /Catalog /Pages 2 0 R >>", pages}),
       .expect = {PdfFailure::noPages}},
      {.name = "cut at a quarter",
       .bytes = cut(label, label.size() / 4),
       .expect = {PdfFailure::damaged}},
      {.name = "cut at half",
       .bytes = cut(label, label.size() / 2),
       .expect = {PdfFailure::damaged}},
      {.name = "cut in the last page's stream",
       .bytes = cut(three, three.size() * 3 / 4),
       .expect = {PdfFailure::damaged}},
      {.name = "cut before startxref",
       .bytes = cut(label, startxref),
       .expect = {PdfFailure::damaged}},
      {.name = "cut inside %%EOF",
       .bytes = cut(label, text.rfind("%%EOF") + 3),
       .expect = {PdfFailure::damaged}},
      {.name = "line ends rewritten, every offset moved",
       .bytes = bytesOf(crlf),
       .expect = {PdfFailure::damaged}},
      {.name = "a cross-reference offset past its end",
       .bytes = bytesOf(text.substr(0, startxref) + "startxref\n99999999\n%%EOF\n"),
       .expect = {PdfFailure::damaged}},
      {.name = "a header and nothing else",
       .bytes = bytesOf("%PDF-1.7\n"),
       .expect = {PdfFailure::damaged}},
      {.name = "an image", .bytes = bytesOf("\x89PNG\r\n\x1a\n"), .expect = {PdfFailure::notPdf}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(opened(row.bytes, row.limits), row.expect);
  }
}

// The document's page drawn into a new PDF's frame, as the print path draws it.
Bytes redrawn(const Bytes& pdf, int index, const PaperSize& frame) {
  const auto opened = openPdfDocument(pdf);
  return testing::cairoPdf({frame}, [&](cairo_t* context, int) {
    if (!opened.document || !opened.document->drawPage(index, context, frame))
      cairo_set_source_rgb(context, 1, 0, 0), cairo_paint(context);
  });
}

// Tests that a redrawn label keeps its text as text and its barcode as vectors that scan.
TEST(PdfDocument, LabelStaysTextAndVectors) {
  const testing::TemporaryFolder folder;
  const std::string file =
      folder.write("label.pdf", redrawn(vectorLabelPdf("TOVANEL-4711"), 0, {288, 432}));
  EXPECT_EQ(testing::shellOutput("pdfimages -list " + file + " | tail -n +3"), "");
  EXPECT_NE(testing::shellOutput("pdftotext " + file + " -").find("TOVANEL-4711"),
            std::string::npos);
  // One embedded font: the text is still glyphs, not pictures of them.
  EXPECT_EQ(testing::shellOutput("pdffonts " + file + " | tail -n +3 | grep -c ' yes '"), "1\n");
  testing::runShell("pdftoppm -singlefile -r 300 -png " + file + " " + folder.file("label"));
  EXPECT_EQ(testing::shellOutput("zbarimg -q --raw " + folder.file("label.png")), "TOVANEL-4711\n");
}

// Tests that a photo in a document keeps its own JPEG stream when the page is drawn again.
TEST(PdfDocument, PhotosKeepTheirOwnStream) {
  GdkPixbuf* photo = gdk_pixbuf_new(GDK_COLORSPACE_RGB, false, 8, 40, 30);
  gdk_pixbuf_fill(photo, 0x3366ccff);
  gchar* jpeg = nullptr;
  gsize size = 0;
  gdk_pixbuf_save_to_buffer(photo, &jpeg, &size, "jpeg", nullptr, nullptr);
  g_object_unref(photo);
  const CairoSurface image(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 40, 30));
  cairo_surface_set_mime_data(image.get(), CAIRO_MIME_TYPE_JPEG,
                              reinterpret_cast<unsigned char*>(jpeg), size, g_free, jpeg);
  const Bytes document = testing::cairoPdf({{200, 150}}, [&](cairo_t* context, int) {
    cairo_scale(context, 5, 5);
    cairo_set_source_surface(context, image.get(), 0, 0);
    cairo_paint(context);
  });
  const testing::TemporaryFolder folder;
  const std::string file = folder.write("page.pdf", redrawn(document, 0, {288, 432}));
  EXPECT_EQ(
      testing::shellOutput("pdfimages -list " + file + " | tail -n +3 | awk '{print $4 $5 $9}'"),
      "4030jpeg\n");
}

// Tests that each page is fitted into the frame as an image is: scaled with its aspect ratio
// kept, centred, never turned (a turned page would show its ink the other way round).
TEST(PdfDocument, PagesFittedCentredNeverTurned) {
  const Bytes three = blackPages({{200, 300}, {300, 200}, {400, 400}});
  struct Row {
    const char* name = "";
    int page = 0;
    testing::InkBox expect{};
  };
  const Row rows[] = {
      {.name = "as tall as the frame", .page = 0, .expect = {0, 0, 288, 432}},
      {.name = "wide: across, centred up and down", .page = 1, .expect = {0, 120, 288, 312}},
      {.name = "square", .page = 2, .expect = {0, 72, 288, 360}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(testing::inkBox(testing::renderedPage(redrawn(three, row.page, {288, 432}), 72)),
              row.expect);
  }
}

}  // namespace
}  // namespace tovanel
