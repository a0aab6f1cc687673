// Imaging: images decoded, PDF and SVG documents opened, camera JPEGs sent on as they are,
// the bytes told apart, and the pages written.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include "imaging/jpeg_passthrough.h"
#include "imaging/page_pdf.h"
#include "imaging/pdf_document.h"
#include "imaging/printable.h"
#include "imaging/svg_document.h"
#include "support/print_images.h"
#include "support/rows.h"
#include "support/temporary_folder.h"

namespace tovanel {
namespace {

using testing::Bytes;
using testing::markerImagePng;
using testing::shellMade;
using namespace std::string_literals;

Bytes bytesOf(const std::string& text) {
  return {text.begin(), text.end()};
}
std::string textOf(const Bytes& bytes) {
  return {bytes.begin(), bytes.end()};
}

Bytes cmykJpeg() {
  return testing::readBytes(TOVANEL_SOURCE_DIR "/tests/data/imaging/cmyk.jpg");
}

// The PNG as gdk-pixbuf saves it in `type`, as a camera or a label program would write it.
Bytes saved(const Bytes& png, const char* type) {
  const testing::TemporaryFolder folder;
  GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(folder.write("in.png", png).c_str(), nullptr);
  gdk_pixbuf_save(pixbuf, folder.file("out").c_str(), type, nullptr, nullptr);
  g_object_unref(pixbuf);
  return testing::readBytes(folder.file("out"));
}

// A TIFF header and one entry, the EXIF orientation; and a JPEG that carries it, as cameras do.
Bytes exifTiff(int orientation) {
  return {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, uint8_t(orientation),
          0,   0,   0,  0, 0, 0, 0};
}
Bytes turned(Bytes jpeg, int orientation) {
  Bytes exif{0xff, 0xe1, 0, 34, 'E', 'x', 'i', 'f', 0, 0}, tiff = exifTiff(orientation);
  exif.insert(exif.end(), tiff.begin(), tiff.end());
  jpeg.insert(jpeg.begin() + 2, exif.begin(), exif.end());
  return jpeg;
}

// `bytes` with the little-endian 32-bit field at `at` set to `value`.
Bytes patched(Bytes bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
  return bytes;
}

// The pixel of the decoded image as cairo holds it, 0xAARRGGBB; 0 when nothing was decoded.
uint32_t pixelAt(const Bytes& bytes, int x, int y) {
  const auto result = decodeImageBytes(bytes);
  cairo_surface_t* image = result.image ? result.image->surface() : nullptr;
  const uint8_t* row = image ? cairo_image_surface_get_data(image) : nullptr;
  return row ? reinterpret_cast<const uint32_t*>(row + y * cairo_image_surface_get_stride(image))[x]
             : 0;
}

// The PDF that writePages makes of a printable on a 4 x 6 inch page.
Bytes pagePdf(const Printable& printable) {
  Bytes pdf;
  const PaperSize page{288, 432};
  writePages({.sheet = page, .frame = page}, printable, [&pdf](auto bytes) {
    return pdf.insert(pdf.end(), bytes.begin(), bytes.end()), true;
  });
  return pdf;
}

// Converter commands run where these files are: a 41 x 30 and a 60 x 40 marker, a white image
// and the EXIF orientation 6.
Bytes converted(const std::string& command) {
  return shellMade(command, {{"a.png", markerImagePng(41, 30)},
                             {"b.png", testing::whitePng(41, 30)},
                             {"w.png", markerImagePng(60, 40)},
                             {"exif", exifTiff(6)}});
}

// Two pixels of a decoded image, to compare and print whole.
struct Corners {
  uint32_t topLeft = 0, bottomRight = 0;
  friend bool operator==(const Corners&, const Corners&) = default;
};

// Tests exact pixels of each format, clear ones laid on white, and EXIF turns.
TEST(ImageDecoding, ExactPixelsTurnedUpright) {
  const Bytes marker = markerImagePng(41, 30);
  const Corners redOnBlue{0xffff0000u, 0xff0000ffu};
  // clang-format off
  const testing::Row<Bytes, Corners> rows[] = {
      {.name = "PNG", .in = marker, .expect = redOnBlue},
      {.name = "BMP", .in = saved(marker, "bmp"), .expect = redOnBlue},
      {.name = "TIFF", .in = saved(marker, "tiff"), .expect = redOnBlue},
      {.name = "WebP", .in = converted("cwebp -lossless a.png -o out"), .expect = redOnBlue},
      {.name = "an animated WebP's first frame",
       .in = converted("img2webp -loop 0 a.png b.png -o out"), .expect = redOnBlue},
      {.name = "a clear pixel on white", .in = markerImagePng(41, 30, true),
       .expect = {0xffffffffu, 0xff0000ffu}}};
  // clang-format on
  testing::expectRows(rows, [](const Bytes& bytes) {
    return Corners{pixelAt(bytes, 0, 0), pixelAt(bytes, 40, 29)};
  });
  // Orientation 6, a quarter turn clockwise: the red corner shows top right, where the picture
  // as stored is blue; in a JPEG's APP1, and in a WebP's EXIF chunk, which its loader ignores.
  EXPECT_GT(pixelAt(turned(saved(markerImagePng(60, 40), "jpeg"), 6), 36, 3) >> 16 & 0xff, 200u);
  EXPECT_EQ(
      pixelAt(converted("cwebp -lossless w.png -o w && webpmux -set exif exif w -o out"), 36, 3),
      0xffff0000u);
}

// Tests that cut, bad-headed, unknown or oversize images are refused before a loader fills them.
TEST(ImageDecoding, RefusesWhatItCannotSafelyRead) {
  const Bytes png = markerImagePng(100, 80), bmp = saved(png, "bmp"), jpeg = saved(png, "jpeg");
  Bytes trailed = jpeg;
  trailed.insert(trailed.end(), {0xff, 0xd8, 'j', 'u', 'n', 'k'});
  const auto made = [&png](const std::string& command) {
    return shellMade(command, {{"a.png", png}});
  };
  const Bytes lossy = made("cwebp a.png -o out"),
              heic = made("heif-enc -q 50 a.png -o o.heic; mv o.heic out");
  // A lossless WebP whose header claims 16384 x 16384, and a HEIC whose image extent claims
  // 30000 x 30000: the loaders would fill either before telling its size.
  Bytes hugeWebp = patched(made("cwebp -lossless a.png -o out"), 21, 0xfffffff), hugeHeic = heic;
  for (const size_t at : {textOf(heic).find("ispe") + 8, textOf(heic).find("ispe") + 12})
    hugeHeic[at] = 0, hugeHeic[at + 1] = 0, hugeHeic[at + 2] = 0x75, hugeHeic[at + 3] = 0x30;
  const Bytes gif = bytesOf("GIF89a\1\0\1\0\x80\0\0\xff\0\0\0\0\0,\0\0\0\0\1\0\1\0\0\2\2D\1\0;"s);
  const auto cut = [](const Bytes& bytes) { return Bytes(bytes.begin(), bytes.end() - 9); };
  using enum ImageDecodeFailure;
  // The PNG's own bytes, pixels and longer side, and each one less.
  const ImageLimits exact{.maxBytes = png.size(), .maxPixels = 8000, .maxSide = 100};
  ImageLimits byteShort = exact, pixelShort = exact, sideShort = exact;
  --byteShort.maxBytes, --pixelShort.maxPixels, --sideShort.maxSide;
  // clang-format off
  const struct {
    const char* name = "";
    Bytes in = {};
    ImageLimits limits = {};
    ImageDecodeFailure expect = none;
  } rows[] = {
      {.name = "on every limit", .in = png, .limits = exact},
      {.name = "a GIF", .in = gif},
      {.name = "a JPEG with bytes after its end", .in = trailed},
      {.name = "a byte too many", .in = png, .limits = byteShort, .expect = tooLarge},
      {.name = "a pixel too many", .in = png, .limits = pixelShort, .expect = tooLarge},
      {.name = "a side too long", .in = png, .limits = sideShort, .expect = tooLarge},
      {.name = "a TIFF's pixels", .in = saved(png, "tiff"), .limits = {.maxPixels = 7999},
       .expect = tooLarge},
      {.name = "a WebP that claims too much", .in = hugeWebp, .expect = tooLarge},
      {.name = "a HEIC that claims too much", .in = hugeHeic, .expect = tooLarge},
      {.name = "BMP, a 3.5 GB header", .in = patched(bmp, 14, 0xd2807528), .expect = unreadable},
      {.name = "BMP, 2^32 colours", .in = patched(bmp, 46, 0xffffffff), .expect = unreadable},
      {.name = "a JPEG cut short", .in = cut(jpeg), .expect = unreadable},
      {.name = "a WebP cut short", .in = cut(lossy), .expect = unreadable},
      {.name = "a HEIC cut short", .in = cut(heic), .expect = unreadable},
      {.name = "four bytes of a GIF", .in = bytesOf("GIF8"), .expect = unsupportedFormat}};
  // clang-format on
  testing::forEachRow(rows, [](const auto& row) {
    EXPECT_EQ(decodeImageBytes(row.in, row.limits).failure, row.expect);
  });
}

// Tests that only images reduced past 300 dpi are smoothed, and only black-and-white ones 1-bit.
TEST(PagePdf, SmoothedOnlyWhenReducedAndBlackAndWhiteLabelsAre1Bit) {
  const auto page = [](const Bytes& png) {
    return textOf(pagePdf(RasterPage(decodeImageBytes(png).image)));
  };
  const testing::Row<int, std::string> rows[] = {
      {.name = "enlarged", .in = 20, .expect = "false"},
      {.name = "reduced to 300 dpi", .in = 812, .expect = "false"},
      {.name = "reduced past it", .in = 1300, .expect = "true"}};
  testing::forEachRow(rows, [&page](const auto& row) {
    const std::string pdf = page(markerImagePng(row.in, row.in * 3 / 2));
    EXPECT_NE(pdf.find("/Interpolate " + row.expect), std::string::npos);
  });
  auto label = decodeImageBytes(testing::code128LabelPng("TOVANEL-4711", 1201, 803, 3)).image;
  const Bytes fromColours =
      pagePdf(RasterPage(std::make_unique<CairoImage>(testing::coloursOnly(label->surface()))));
  const Bytes oneBit = pagePdf(RasterPage(std::move(label)));
  EXPECT_NE(textOf(oneBit).find("/CCITTFaxDecode"), std::string::npos);
  const auto rendered = testing::renderPdf(oneBit, 600, true);
  EXPECT_TRUE(!rendered.pixels.empty() &&
              rendered.pixels == testing::renderPdf(fromColours, 600, true).pixels);
  EXPECT_EQ(page(testing::code128LabelPng("TOVANEL-4711", 600, 400, 2, true)).find("/CCITTFax"),
            std::string::npos);
}

const auto kBlank = [](cairo_t*, int) {};

// What a printable was made of bytes: pages, and whether decoded to pixels.
struct Kind {
  PrintableFailure failure = PrintableFailure::none;
  int pages = 0;
  bool raster = false;
  bool operator==(const Kind&) const = default;
};

// Tests that bytes are told apart by their start, each kind its pages, a CMYK JPEG decoded.
TEST(Printable, ToldApartByTheirBytes) {
  const Bytes jpeg = saved(markerImagePng(40, 30), "jpeg");
  const Bytes three = testing::cairoPdf({{9, 9}, {9, 9}, {9, 9}}, kBlank);
  using enum PrintableFailure;
  // clang-format off
  const testing::Row<Bytes, Kind> rows[] = {
      {.name = "PNG", .in = markerImagePng(40, 30), .expect = {.pages = 1, .raster = true}},
      {.name = "JPEG, sent on", .in = jpeg, .expect = {.pages = 1}},
      {.name = "CMYK JPEG, decoded", .in = cmykJpeg(), .expect = {.pages = 1, .raster = true}},
      {.name = "JPEG cut short", .in = Bytes(jpeg.begin(), jpeg.end() - 40), .expect = {refused}},
      {.name = "three-page PDF", .in = three, .expect = {.pages = 3}},
      {.name = "PDF cut short", .in = Bytes(three.begin(), three.end() - 90), .expect = {refused}},
      {.name = "text", .in = bytesOf("label"), .expect = {unsupported}}};
  // clang-format on
  testing::expectRows(rows, [](const Bytes& bytes) {
    const auto decoded = decodePrintable(bytes);
    return Kind{decoded.failure, decoded.printable ? decoded.printable->pageCount() : 0,
                dynamic_cast<const RasterPage*>(decoded.printable.get()) != nullptr};
  });
}

// What opening a document gave: the failure, or the size of each page in order.
struct Pages {
  PdfFailure failure = PdfFailure::none;
  std::vector<PaperSize> pages{};
  friend bool operator==(const Pages&, const Pages&) = default;
};

// Tests that whole PDFs open, pages in order; cut, moved, locked, empty, long or oversize ones not.
TEST(PdfDocument, OpensWholeDocumentsAndRefusesTheRest) {
  // A label with a 40 x 30 picture, and three pages of other sizes.
  const CairoSurface picture(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 40, 30));
  const Bytes label = testing::cairoPdf({{288, 432}}, [&picture](cairo_t* context, int) {
    cairo_set_source_surface(context, picture.get(), 24, 300);
    cairo_paint(context);
  });
  const Bytes three = testing::cairoPdf({{200, 300}, {300, 200}, {400, 400}}, kBlank);
  const std::string text = textOf(label), end = text.substr(text.rfind("startxref"));
  // Every object eight bytes further on, the table where "startxref" says and left as it was.
  std::string moved = text, escaped = text;
  moved.insert(text.find('\n') + 1, "% moved\n");
  const size_t table = std::stoul(end.substr(10));  // after "startxref\n"
  moved.replace(moved.rfind("startxref\n") + 10, std::to_string(table).size(),
                std::to_string(table + 8));
  // The picture's subtype, escaped as poppler reads it, in the same number of bytes.
  escaped.replace(escaped.find("   /Subtype /Image"), 18, "  /Subtype/Im#61ge");
  // No pages: a catalogue (at 9) and an empty page tree (at 58), then the table.
  const std::string empty =
      "%PDF-1.4\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n2 0 obj\n<< /Type /Pages "
      "/Kids [] /Count 0 >>\nendobj\nxref\n0 3\n0000000000 65535 f \n0000000009 00000 n \n"
      "0000000058 00000 n \ntrailer\n<< /Size 3 /Root 1 0 R >>\nstartxref\n110\n%%EOF\n";
  const auto encrypted = [&label](const std::string& user) {
    return shellMade("qpdf --encrypt '" + user + "' owner 256 -- in.pdf out", {{"in.pdf", label}});
  };
  using enum PdfFailure;
  const Pages opened{.pages = {{288, 432}}};
  // clang-format off
  const struct {
    const char* name = "";
    Bytes bytes{};
    PdfLimits limits{};
    Pages expect{};
  } rows[] = {
      {.name = "a label", .bytes = label, .expect = opened},
      {.name = "three pages in order, the page limit", .bytes = three, .limits = {.maxPages = 3},
       .expect = {.pages = {{200, 300}, {300, 200}, {400, 400}}}},
      {.name = "1,001 pages",
       .bytes = testing::cairoPdf(std::vector<PaperSize>(1001, {9, 9}), kBlank),
       .expect = {tooManyPages}},
      {.name = "no pages", .bytes = bytesOf(empty), .expect = {noPages}},
      {.name = "white space after the end", .bytes = bytesOf(text + "\r\n"), .expect = opened},
      {.name = "only its owner's password", .bytes = encrypted(""), .expect = opened},
      {.name = "a password to open it", .bytes = encrypted("user"), .expect = {locked}},
      {.name = "a byte over the limit", .bytes = label, .limits = {.maxBytes = label.size() - 1},
       .expect = {tooLarge}},
      {.name = "its picture at the pixel budget", .bytes = label,
       .limits = {.maxImagePixels = 1200}, .expect = opened},
      {.name = "a pixel over it", .bytes = label, .limits = {.maxImagePixels = 1199},
       .expect = {tooLarge}},
      {.name = "a pixel over it, escaped", .bytes = bytesOf(escaped),
       .limits = {.maxImagePixels = 1199}, .expect = {tooLarge}},
      {.name = "cut in the last page", .bytes = Bytes(three.begin(), three.end() - 600),
       .expect = {damaged}},
      {.name = "cut in %%EOF", .bytes = bytesOf(text.substr(0, text.size() - 3)),
       .expect = {damaged}},
      {.name = "its objects moved", .bytes = bytesOf(moved), .expect = {damaged}}};
  // clang-format on
  testing::forEachRow(rows, [](const auto& row) {
    const auto result = openPdfDocument(row.bytes, row.limits);
    Pages opened{result.failure};
    for (int i = 0; result.document && i < result.document->pageCount(); ++i)
      opened.pages.push_back(result.document->pageSize(i));
    EXPECT_EQ(opened, row.expect);
  });
}

std::string svg(const std::string& attributes, const std::string& content = "") {
  return "<svg xmlns='http://www.w3.org/2000/svg' " + attributes + ">" + content + "</svg>";
}
// A data address of a 10 x 10 PNG, its scheme as given.
std::string dataAddress(const std::string& scheme = "data") {
  const Bytes png = markerImagePng(10, 10);
  gchar* base64 = g_base64_encode(png.data(), png.size());
  const std::string address = scheme + ":image/png;base64," + base64;
  g_free(base64);
  return address;
}

// What opening a drawing gave: the failure, whether it looked like an SVG, its size in points.
struct Drawing {
  SvgFailure failure = SvgFailure::none;
  bool looksLikeSvg = true;
  PaperSize size{};
  friend bool operator==(const Drawing&, const Drawing&) = default;
};

// Tests that SVGs are told by their root, sized by width and height else view box, or refused.
TEST(SvgDocument, ToldApartAndSized) {
  const auto inside = [](const std::string& scheme) {
    return svg("width='12' height='12'", "<image href='" + dataAddress(scheme) + "'/>");
  };
  const std::string prologue =
      "\xef\xbb\xbf<?xml version='1.0'?><!-- a --><!DOCTYPE svg [<!ATTLIST svg a CDATA '1'>]>";
  using enum SvgFailure;
  // clang-format off
  const struct {
    const char* name = "";
    std::string bytes{};
    SvgLimits limits{};
    Drawing expect{};
  } rows[] = {
      {.name = "inches", .bytes = svg("width='4in' height='6in' viewBox='0 0 9 9'"),
       .expect = {.size = {288, 432}}},
      {.name = "CSS pixels", .bytes = svg("width='400' height='300'"),
       .expect = {.size = {300, 225}}},
      {.name = "a view box", .bytes = svg("viewBox='0 0 200 100'"), .expect = {.size = {150, 75}}},
      {.name = "percentages, a view box",
       .bytes = svg("width='100%' height='9' viewBox='5 5 40 60'"),
       .expect = {.size = {30, 45}}},
      {.name = "neither", .bytes = svg(""), .expect = {noSize}},
      {.name = "an empty view box", .bytes = svg("viewBox='0 0 0 10'"), .expect = {noSize}},
      {.name = "over the byte limit", .bytes = svg(""), .limits = {.maxBytes = 9},
       .expect = {tooLarge}},
      {.name = "declaration, comment, doctype, byte order mark",
       .bytes = prologue + svg("viewBox='0 0 4 4'"), .expect = {.size = {3, 3}}},
      {.name = "a picture inside at the limit", .bytes = inside("data"),
       .limits = {.pictures = {.maxPixels = 100}}, .expect = {.size = {9, 9}}},
      {.name = "a pixel over it", .bytes = inside("data"),
       .limits = {.pictures = {.maxPixels = 99}}, .expect = {tooLarge}},
      {.name = "a pixel over, written in references", .bytes = inside("&#100;ata"),
       .limits = {.pictures = {.maxPixels = 99}}, .expect = {tooLarge}},
      {.name = "an entity defined", .bytes = "<!DOCTYPE svg [<!ENTITY a 'b'>]>" + svg("width='9'"),
       .expect = {tooLarge}},
      {.name = "cut", .bytes = "<svg width='1in'", .expect = {unreadable}},
      {.name = "another element", .bytes = "<svgx/>", .expect = {unreadable, false}},
      {.name = "a comment never closed", .bytes = "<!-- <svg/>", .expect = {unreadable, false}}};
  // clang-format on
  testing::forEachRow(rows, [](const auto& row) {
    const auto result = openSvgDocument(bytesOf(row.bytes), row.limits);
    EXPECT_EQ((Drawing{result.failure, looksLikeSvg(bytesOf(row.bytes)),
                       result.document ? result.document->size() : PaperSize{}}),
              row.expect);
  });
}

// Where the drawing's ink lands, fitted into a 100 x 100 point page drawn at 72 dpi.
std::array<int, 4> inkOf(const std::string& bytes) {
  const auto opened = openSvgDocument(bytesOf(bytes));
  return testing::inkBox(
      testing::renderPdf(testing::cairoPdf({{100, 100}},
                                           [&](cairo_t* context, int) {
                                             if (opened.document)
                                               opened.document->draw(context, {100, 100});
                                           }),
                         72, true));
}

// Tests that a drawing is fitted as an image is, and references outside its bytes draw nothing.
TEST(SvgDocument, FittedAndNothingOutsideTheBytesDrawn) {
  EXPECT_EQ(inkOf(svg("viewBox='0 0 20 10'", "<rect width='20' height='10'/>")),
            (std::array<int, 4>{0, 25, 100, 75}));
  const testing::TemporaryFolder folder;
  const std::string file = folder.write("marker.png", markerImagePng(10, 10));
  const std::string image = "<image width='50' height='50' preserveAspectRatio='none' ";
  EXPECT_EQ(inkOf(svg("xmlns:xlink='http://www.w3.org/1999/xlink' xmlns:xi="
                      "'http://www.w3.org/2001/XInclude' width='100' height='100'",
                      image + "href='file://" + file + "'/>" + image + "y='50' href='" + file +
                          "'/>" + image + "xlink:href='http://127.0.0.1:9/marker.png'/>" + image +
                          "href='marker.png'/><text y='70' font-size='30'><xi:include href='" +
                          file + "' parse='text'/></text><use href='file://" +
                          folder.file("a.svg#r") + "'/>" + image + "x='50' href='" + dataAddress() +
                          "'/><rect x='50' y='50' width='50' height='50'/>")),
            (std::array<int, 4>{50, 0, 100, 100}));
}

// The JPEG with its start-of-frame marker made `marker`, and its sample precision `bits`.
Bytes withFrame(Bytes jpeg, uint8_t marker, uint8_t bits) {
  const std::string text = textOf(jpeg);
  const size_t at = text.find("\xff\xc0");
  jpeg[at + 1] = marker, jpeg[at + 4] = bits;
  return jpeg;
}

// What opening a JPEG to pass on gave: the failure, or the upright size and orientation.
struct Passed {
  JpegPassthroughFailure failure = JpegPassthroughFailure::none;
  int width = 0, height = 0, orientation = 0;
  friend bool operator==(const Passed&, const Passed&) = default;
};

// Tests that camera JPEGs pass upright; others go to the decoder; cut or oversize ones are refused.
TEST(JpegPassthrough, CameraJpegsPassOthersGoToTheDecoder) {
  const Bytes photo = saved(markerImagePng(60, 40), "jpeg");
  using enum JpegPassthroughFailure;
  // clang-format off
  const struct {
    const char* name = "";
    Bytes in = {};
    ImageLimits limits = {};
    Passed expect = {};
  } rows[] = {
      {.name = "upright, on every limit", .in = photo,
       .limits = {.maxBytes = photo.size(), .maxPixels = 2400, .maxSide = 60},
       .expect = {none, 60, 40, 1}},
      {.name = "a quarter turn", .in = turned(photo, 6), .expect = {none, 40, 60, 6}},
      {.name = "CMYK", .in = cmykJpeg(), .expect = {needsDecoding}},
      {.name = "12-bit", .in = withFrame(photo, 0xc0, 12), .expect = {needsDecoding}},
      {.name = "lossless", .in = withFrame(photo, 0xc3, 8), .expect = {needsDecoding}},
      {.name = "a byte too many", .in = photo, .limits = {.maxBytes = photo.size() - 1},
       .expect = {tooLarge}},
      {.name = "a pixel too many", .in = photo, .limits = {.maxPixels = 2399},
       .expect = {tooLarge}},
      {.name = "a side too long", .in = photo, .limits = {.maxSide = 59}, .expect = {tooLarge}},
      {.name = "cut in its headers", .in = Bytes(photo.begin(), photo.begin() + 300),
       .expect = {unreadable}},
      {.name = "cut before its end", .in = Bytes(photo.begin(), photo.end() - 2),
       .expect = {unreadable}}};
  // clang-format on
  testing::forEachRow(rows, [](const auto& row) {
    const auto result = openPassthroughJpeg(row.in, row.limits);
    const auto& image = result.image;
    const Passed passed =
        image ? Passed{result.failure, image->width(), image->height(), image->orientation()}
              : Passed{result.failure};
    EXPECT_EQ(passed, row.expect);
  });
}

// Tests that a sent-on JPEG's page holds its bytes and looks as the decoded image's page does,
// in each EXIF orientation.
TEST(JpegPassthrough, PageLooksAsTheDecodedOnesAndHoldsTheBytes) {
  for (int orientation = 1; orientation <= 8; ++orientation) {
    SCOPED_TRACE(orientation);
    const Bytes jpeg = turned(saved(markerImagePng(1200, 900), "jpeg"), orientation);
    const Bytes sent = pagePdf(*decodePrintable(jpeg).printable);
    EXPECT_NE(std::search(sent.begin(), sent.end(), jpeg.begin(), jpeg.end()), sent.end());
    const auto before =
                   testing::renderPdf(pagePdf(RasterPage(decodeImageBytes(jpeg).image)), 100, true),
               after = testing::renderPdf(sent, 100, true);
    ASSERT_TRUE(before.width == 400 && before.pixels.size() == after.pixels.size());
    // Sampling the turned JPEG at 100 dpi may move a sharp edge by a pixel, nothing more.
    double total = 0, moved = 0;
    for (size_t i = 0; i < before.pixels.size(); ++i) {
      const int difference = std::abs(before.pixels[i] - after.pixels[i]);
      total += difference, moved += difference > 24;
    }
    EXPECT_LE(total / before.pixels.size(), 1.0);
    EXPECT_LE(moved / before.pixels.size(), 0.005);
  }
}

}  // namespace
}  // namespace tovanel
