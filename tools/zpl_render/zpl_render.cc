// Renders the graphic that a ZPL label job downloads (~DG, ASCII hex with Zebra's run
// compression) into a PNG, so that what a label printer received can be looked at.
//
//   zpl_render IN.zpl OUT.png
//
// The graphic is drawn as the driver composed the page, top row first; a print
// orientation command (^POI) is the printer's feed direction and is not applied.
#include <cairo.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/hex.h"

namespace {

// Larger than any real label (a 4 x 6 in label at 600 dpi is under 1.3 MB).
constexpr size_t kMaxGraphicBytes = 64 * 1024 * 1024;

struct Graphic {
  size_t bytesPerRow = 0;
  std::vector<uint8_t> rows;  // 1 bits are black
};

// The repeat count of a compression letter: G..Y are 1..19, g..z are 20..400 in twenties.
int repeatCount(char c) {
  if (c >= 'G' && c <= 'Y')
    return c - 'G' + 1;
  if (c >= 'g' && c <= 'z')
    return (c - 'g' + 1) * 20;
  return 0;
}

std::optional<size_t> readNumber(const std::string& text, size_t& at) {
  size_t value = 0;
  const size_t start = at;
  while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
    value = value * 10 + static_cast<size_t>(text[at++] - '0');
    if (value > kMaxGraphicBytes)
      return std::nullopt;
  }
  return at > start ? std::optional<size_t>(value) : std::nullopt;
}

// Decodes the first ~DG graphic of `zpl`; nothing when there is none or it is malformed.
std::optional<Graphic> decodeGraphic(const std::string& zpl) {
  size_t at = zpl.find("~DG");
  if (at == std::string::npos)
    return std::nullopt;
  at = zpl.find(',', at);  // past the name
  if (at == std::string::npos)
    return std::nullopt;
  ++at;
  const auto total = readNumber(zpl, at);
  if (!total || at >= zpl.size() || zpl[at++] != ',')
    return std::nullopt;
  const auto perRow = readNumber(zpl, at);
  if (!perRow || *perRow == 0 || *total % *perRow != 0 || at >= zpl.size() || zpl[at++] != ',') {
    return std::nullopt;
  }

  Graphic graphic;
  graphic.bytesPerRow = *perRow;
  const size_t nibblesPerRow = *perRow * 2;
  std::vector<uint8_t> nibbles;  // of the row being read
  nibbles.reserve(nibblesPerRow);
  std::vector<uint8_t> previous(nibblesPerRow, 0);
  auto endRow = [&](uint8_t fill) {
    nibbles.resize(nibblesPerRow, fill);
    for (size_t i = 0; i < nibblesPerRow; i += 2) {
      graphic.rows.push_back(static_cast<uint8_t>(nibbles[i] << 4 | nibbles[i + 1]));
    }
    previous = nibbles;
    nibbles.clear();
  };
  int repeat = 0;
  for (; at < zpl.size() && graphic.rows.size() < *total; ++at) {
    const char c = zpl[at];
    if (c == '^' || c == '~')
      break;  // the next command
    if (const int count = repeatCount(c)) {
      repeat += count;
    } else if (const int nibble = tovanel::hexDigitValue(c); nibble >= 0) {
      for (int i = 0; i < (repeat ? repeat : 1) && nibbles.size() < nibblesPerRow; ++i) {
        nibbles.push_back(static_cast<uint8_t>(nibble));
      }
      repeat = 0;
      if (nibbles.size() == nibblesPerRow)
        endRow(0);
    } else if (c == ',') {
      endRow(0);
    } else if (c == '!') {
      endRow(0xF);
    } else if (c == ':') {
      nibbles = previous;
      endRow(0);
    }
  }
  if (!nibbles.empty())
    endRow(0);
  graphic.rows.resize(*total, 0);
  return graphic;
}

bool writePng(const Graphic& graphic, const char* path) {
  const int width = static_cast<int>(graphic.bytesPerRow * 8);
  const int height = static_cast<int>(graphic.rows.size() / graphic.bytesPerRow);
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height), cairo_surface_destroy);
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
    return false;
  cairo_surface_flush(surface.get());
  auto* pixels = cairo_image_surface_get_data(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(pixels + static_cast<ptrdiff_t>(y) * stride);
    const uint8_t* bits = &graphic.rows[static_cast<size_t>(y) * graphic.bytesPerRow];
    for (int x = 0; x < width; ++x) {
      const bool black = bits[x / 8] & (0x80 >> (x % 8));
      row[x] = black ? 0x000000 : 0xFFFFFF;
    }
  }
  cairo_surface_mark_dirty(surface.get());
  return cairo_surface_write_to_png(surface.get(), path) == CAIRO_STATUS_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zpl_render IN.zpl OUT.png\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "zpl_render: cannot read %s\n", argv[1]);
    return 1;
  }
  const std::string zpl{std::istreambuf_iterator<char>(in), {}};
  const auto graphic = decodeGraphic(zpl);
  if (!graphic) {
    std::fprintf(stderr, "zpl_render: %s holds no label graphic (~DG)\n", argv[1]);
    return 1;
  }
  if (!writePng(*graphic, argv[2])) {
    std::fprintf(stderr, "zpl_render: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
