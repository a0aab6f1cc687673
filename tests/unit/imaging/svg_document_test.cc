// SVG drawings: told by their bytes, measured, drawn fitted, and never reaching outside them.
#include "imaging/svg_document.h"

#include <glib.h>
#include <gtest/gtest.h>

#include "support/print_images.h"
#include "unit/imaging/document_pages.h"

namespace tovanel {
namespace {

using testing::Bytes;

std::string svg(const std::string& attributes, const std::string& content = "") {
  return "<svg xmlns='http://www.w3.org/2000/svg' " + attributes + ">" + content + "</svg>";
}

Bytes bytesOf(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

// What opening a drawing gave: the failure, whether it looked like an SVG, its size in points.
struct Opened {
  SvgFailure failure = SvgFailure::none;
  bool looksLikeSvg = true;
  PaperSize size{};

  friend bool operator==(const Opened&, const Opened&) = default;
};

// Tests that SVGs are told by their first element, and sized by their width and height, else
// their view box, or refused.
TEST(SvgDocument, ToldApartAndSized) {
  struct Row {
    const char* name = "";
    std::string bytes{};
    SvgLimits limits{};
    Opened expect{};
  };
  // A drawing holding a 10 x 10 PNG in a data address, its scheme written as given.
  const Bytes png = testing::markerImagePng(10, 10);
  gchar* base64 = g_base64_encode(png.data(), png.size());
  const std::string encoded = base64;
  g_free(base64);
  const auto inside = [&](const std::string& scheme) {
    return svg("width='12' height='12'",
               "<image href='" + scheme + ":image/png;base64," + encoded + "'/>");
  };
  using enum SvgFailure;
  const Row rows[] = {
      {.name = "inches",
       .bytes = svg("width='4in' height='6in' viewBox='0 0 9 9'"),
       .expect = {.size = {288, 432}}},
      {.name = "CSS pixels",
       .bytes = svg("width='400' height='300'"),
       .expect = {.size = {300, 225}}},
      {.name = "a view box", .bytes = svg("viewBox='0 0 200 100'"), .expect = {.size = {150, 75}}},
      {.name = "percentages, a view box",
       .bytes = svg("width='100%' height='9' viewBox='5 5 40 60'"),
       .expect = {.size = {30, 45}}},
      {.name = "neither", .bytes = svg(""), .expect = {noSize}},
      {.name = "an empty view box", .bytes = svg("viewBox='0 0 0 10'"), .expect = {noSize}},
      {.name = "over the byte limit",
       .bytes = svg(""),
       .limits = {.maxBytes = 9},
       .expect = {tooLarge}},
      {.name = "declaration, comment, doctype, byte order mark",
       .bytes = "\xef\xbb\xbf<?xml version='1.0'?><!-- a --><!DOCTYPE svg [<!ATTLIST svg a CDATA "
                "'1'>]>" +
                svg("viewBox='0 0 4 4'"),
       .expect = {.size = {3, 3}}},
      {.name = "a picture inside at the limit",
       .bytes = inside("data"),
       .limits = {.pictures = {.maxPixels = 100}},
       .expect = {.size = {9, 9}}},
      {.name = "a pixel over it",
       .bytes = inside("data"),
       .limits = {.pictures = {.maxPixels = 99}},
       .expect = {tooLarge}},
      {.name = "a pixel over, written in references",
       .bytes = inside("&#100;ata"),
       .limits = {.pictures = {.maxPixels = 99}},
       .expect = {tooLarge}},
      {.name = "an entity defined",
       .bytes = "<!DOCTYPE svg [<!ENTITY a 'b'>]>" + svg("width='9'"),
       .expect = {tooLarge}},
      {.name = "cut", .bytes = "<svg width='1in'", .expect = {unreadable}},
      {.name = "another element", .bytes = "<svgx/>", .expect = {unreadable, false}},
      {.name = "a comment never closed", .bytes = "<!-- <svg/>", .expect = {unreadable, false}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto result = openSvgDocument(bytesOf(row.bytes), row.limits);
    EXPECT_EQ((Opened{result.failure, looksLikeSvg(bytesOf(row.bytes)),
                      result.document ? result.document->size() : PaperSize{}}),
              row.expect);
  }
}

// The drawing fitted into a 100 x 100 point page, drawn at 72 dpi.
testing::GreyPage drawn(const std::string& bytes) {
  const auto opened = openSvgDocument(bytesOf(bytes));
  return testing::greyPage(testing::cairoPdf({{100, 100}},
                                             [&](cairo_t* context, int) {
                                               if (opened.document)
                                                 opened.document->draw(context, {100, 100});
                                             }),
                           72);
}

// Tests that a drawing is fitted as an image is, and that references to files and addresses
// draw nothing while its own content, a picture inside the bytes too, draws: the ink is on the
// right, where the picture and a square are, and none on the left, where the references are.
TEST(SvgDocument, FittedAndNothingOutsideTheBytesDrawn) {
  EXPECT_EQ(testing::inkBox(drawn(svg("viewBox='0 0 20 10'", "<rect width='20' height='10'/>"))),
            (std::array<int, 4>{0, 25, 100, 75}));
  const testing::TemporaryFolder folder;
  const Bytes marker = testing::markerImagePng(10, 10);
  const std::string file = folder.write("marker.png", marker);
  gchar* base64 = g_base64_encode(marker.data(), marker.size());
  const std::string data = std::string("data:image/png;base64,") + base64;
  g_free(base64);
  const std::string image = "<image width='50' height='50' preserveAspectRatio='none' ";
  EXPECT_EQ(
      testing::inkBox(drawn(svg(
          "xmlns:xlink='http://www.w3.org/1999/xlink' xmlns:xi="
          "'http://www.w3.org/2001/XInclude' width='100' height='100'",
          image + "href='file://" + file + "'/>" + image + "y='50' href='" + file + "'/>" + image +
              "xlink:href='http://127.0.0.1:9/marker.png'/>" + image +
              "href='marker.png'/><text y='70' font-size='30'><xi:include href='" + file +
              "' parse='text'/></text><use href='file://" + folder.file("a.svg#r") + "'/>" + image +
              "x='50' href='" + data + "'/><rect x='50' y='50' width='50' height='50'/>"))),
      (std::array<int, 4>{50, 0, 100, 100}));
}

}  // namespace
}  // namespace tovanel
