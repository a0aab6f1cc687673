#include "imaging/image_decoding.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <string>
#include <vector>

#include "imaging/pixbuf_conversion.h"

namespace tovanel {
namespace {

// The bytes go to the loader in pieces that start small and double: a loader that has
// refused the size still unpacks the rest of the piece it holds, and 64 KiB of a PNG
// bomb's zeros are 66 MB, while its header is in the first kilobyte.
constexpr size_t kFirstPiece = 1024;
constexpr size_t kLargestPiece = 64 * 1024;

struct ObjectRelease {
  void operator()(GdkPixbuf* pixbuf) const { g_object_unref(pixbuf); }
};

struct ErrorRelease {
  void operator()(GError* error) const { g_error_free(error); }
};

// Owns the loader, and closes it before letting go: a loader must always be closed.
class Loader {
 public:
  explicit Loader(const std::string& type)
      : loader_(gdk_pixbuf_loader_new_with_type(type.c_str(), nullptr)) {}
  ~Loader() {
    if (loader_ && !closed_)
      close();
    if (loader_)
      g_object_unref(loader_);
  }
  Loader(const Loader&) = delete;
  Loader& operator=(const Loader&) = delete;

  GdkPixbufLoader* get() const { return loader_; }

  bool write(std::span<const uint8_t> bytes) {
    GError* error = nullptr;
    const bool written = gdk_pixbuf_loader_write(loader_, bytes.data(), bytes.size(), &error);
    std::unique_ptr<GError, ErrorRelease> owned(error);
    return written;
  }

  bool close() {
    closed_ = true;
    GError* error = nullptr;
    const bool closed = gdk_pixbuf_loader_close(loader_, &error);
    std::unique_ptr<GError, ErrorRelease> owned(error);
    return closed;
  }

 private:
  GdkPixbufLoader* loader_;
  bool closed_ = false;
};

// What the loader has told about the image so far.
struct LoadWatch {
  const ImageLimits* limits;
  bool refused = false;           // the announced size was over the limits
  std::vector<bool> rowsDecoded;  // one entry per row once the pixels exist

  bool complete() const {
    return !rowsDecoded.empty() &&
           std::find(rowsDecoded.begin(), rowsDecoded.end(), false) == rowsDecoded.end();
  }
};

bool withinLimits(int64_t width, int64_t height, const ImageLimits& limits) {
  return width > 0 && height > 0 && width <= limits.maxSide && height <= limits.maxSide &&
         width * height <= limits.maxPixels;
}

// Runs once the loader knows the size and before it allocates the pixels. A size of 0 x 0
// makes the loaders stop; the flag makes sure the image is refused even where one goes on.
void onSizePrepared(GdkPixbufLoader* loader, int width, int height, gpointer data) {
  auto* watch = static_cast<LoadWatch*>(data);
  if (!withinLimits(width, height, *watch->limits)) {
    watch->refused = true;
    gdk_pixbuf_loader_set_size(loader, 0, 0);
  }
}

void onAreaPrepared(GdkPixbufLoader* loader, gpointer data) {
  auto* watch = static_cast<LoadWatch*>(data);
  GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
  if (pixbuf && !watch->refused)
    watch->rowsDecoded.assign(static_cast<size_t>(gdk_pixbuf_get_height(pixbuf)), false);
}

// Loaders hand over a truncated file's first rows as if it were whole; counting the rows
// they report decoded tells the two apart.
void onAreaUpdated(GdkPixbufLoader*, int, int y, int, int height, gpointer data) {
  auto& rows = static_cast<LoadWatch*>(data)->rowsDecoded;
  const auto first = static_cast<size_t>(std::max(y, 0));
  const auto end = std::min(rows.size(), static_cast<size_t>(std::max(y + height, 0)));
  for (size_t row = first; row < end; ++row)
    rows[row] = true;
}

bool startsWith(std::span<const uint8_t> bytes, std::string_view signature) {
  return bytes.size() >= signature.size() &&
         std::equal(signature.begin(), signature.end(), bytes.begin(),
                    [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
}

// libjpeg completes a file that was cut short with grey rows and calls it whole, so a JPEG
// is read only when its end-of-image marker follows its last scan. Walks the marker
// segments by their lengths and the entropy-coded data to the next real marker.
bool jpegReachesItsEnd(std::span<const uint8_t> bytes) {
  size_t at = 2;  // past the start-of-image marker
  while (at + 1 < bytes.size()) {
    if (bytes[at] != 0xff)
      return false;
    const uint8_t marker = bytes[at + 1];
    if (marker == 0xd9)
      return true;
    if (marker == 0xff || marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7)) {
      at += marker == 0xff ? 1 : 2;  // fill byte, or a marker without a segment
      continue;
    }
    if (at + 3 >= bytes.size())
      return false;
    at += 2 + (size_t{bytes[at + 2]} << 8 | bytes[at + 3]);
    if (marker != 0xda)
      continue;
    // After a scan's header comes its data, where 0xff is followed by 0 or a restart.
    while (at + 1 < bytes.size() && !(bytes[at] == 0xff && bytes[at + 1] != 0 &&
                                      (bytes[at + 1] < 0xd0 || bytes[at + 1] > 0xd7)))
      ++at;
  }
  return false;
}

uint32_t littleEndian32(std::span<const uint8_t> bytes, size_t at) {
  return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
         uint32_t{bytes[at + 3]} << 24;
}

// The BMP loader sizes buffers from the header's own length fields (the info header's,
// the palette's) before it knows the image's size, so a 100-byte file could make it
// allocate gigabytes. Only header lengths that exist, and a header and palette that the
// file holds whole, may reach it.
bool bmpHeaderIsSound(std::span<const uint8_t> bytes) {
  constexpr size_t kFileHeader = 14;
  if (bytes.size() < kFileHeader + 4)
    return false;
  const uint32_t infoHeader = littleEndian32(bytes, kFileHeader);
  const bool knownLength = infoHeader == 12 || infoHeader == 16 || infoHeader == 40 ||
                           infoHeader == 52 || infoHeader == 56 || infoHeader == 64 ||
                           infoHeader == 108 || infoHeader == 124;
  if (!knownLength || kFileHeader + infoHeader > bytes.size() ||
      littleEndian32(bytes, 10) > bytes.size())
    return false;
  // Headers of 40 bytes and more count their palette entries (4 bytes each) at offset 46.
  const uint64_t paletteBytes = infoHeader >= 40 ? uint64_t{4} * littleEndian32(bytes, 46) : 0;
  return kFileHeader + infoHeader + paletteBytes <= bytes.size();
}

}  // namespace

std::string_view imageLoaderFor(std::span<const uint8_t> bytes) {
  using namespace std::string_view_literals;
  if (startsWith(bytes, "\x89PNG\r\n\x1a\n"sv))
    return "png";
  if (startsWith(bytes, "\xff\xd8\xff"sv))
    return "jpeg";
  if (startsWith(bytes, "GIF87a"sv) || startsWith(bytes, "GIF89a"sv))
    return "gif";
  if (startsWith(bytes, "BM"sv))
    return "bmp";
  if (startsWith(bytes, "II*\0"sv) || startsWith(bytes, "MM\0*"sv))
    return "tiff";
  return {};
}

ImageDecodeResult decodeImageBytes(std::span<const uint8_t> bytes, const ImageLimits& limits) {
  const std::string_view type = imageLoaderFor(bytes);
  if (type.empty())
    return {nullptr, ImageDecodeFailure::unsupportedFormat};
  if (bytes.size() > limits.maxBytes)
    return {nullptr, ImageDecodeFailure::tooLarge};
  if ((type == "jpeg" && !jpegReachesItsEnd(bytes)) || (type == "bmp" && !bmpHeaderIsSound(bytes)))
    return {nullptr, ImageDecodeFailure::unreadable};

  Loader loader{std::string(type)};
  if (!loader.get())
    return {nullptr, ImageDecodeFailure::unsupportedFormat};
  LoadWatch watch{&limits, false, {}};
  g_signal_connect(loader.get(), "size-prepared", G_CALLBACK(onSizePrepared), &watch);
  g_signal_connect(loader.get(), "area-prepared", G_CALLBACK(onAreaPrepared), &watch);
  g_signal_connect(loader.get(), "area-updated", G_CALLBACK(onAreaUpdated), &watch);

  bool written = true;
  for (size_t offset = 0, piece = kFirstPiece; written && !watch.refused && offset < bytes.size();
       offset += piece, piece = std::min(2 * piece, kLargestPiece)) {
    written = loader.write(bytes.subspan(offset, std::min(piece, bytes.size() - offset)));
  }
  const bool closed = loader.close();
  if (watch.refused)
    return {nullptr, ImageDecodeFailure::tooLarge};
  GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader.get());
  // A GIF's first frame may cover only part of its screen, and its loader reports a cut
  // file itself; a JPEG's end was checked above.
  const bool rowsMustAllArrive = type == "png" || type == "bmp" || type == "tiff";
  if (!written || !closed || !pixbuf || (rowsMustAllArrive && !watch.complete()))
    return {nullptr, ImageDecodeFailure::unreadable};
  // Where a loader did not ask first, the size is checked once more before any copy.
  if (!withinLimits(gdk_pixbuf_get_width(pixbuf), gdk_pixbuf_get_height(pixbuf), limits))
    return {nullptr, ImageDecodeFailure::tooLarge};

  // A camera stores the picture as its sensor saw it and tells in EXIF how to turn it
  // upright, as every viewer shows it.
  const std::unique_ptr<GdkPixbuf, ObjectRelease> upright(
      gdk_pixbuf_apply_embedded_orientation(pixbuf));
  CairoSurface surface = surfaceFromPixbuf(upright.get());
  if (!surface)
    return {nullptr, ImageDecodeFailure::unreadable};
  return {std::make_unique<CairoImage>(std::move(surface)), ImageDecodeFailure::none};
}

}  // namespace tovanel
