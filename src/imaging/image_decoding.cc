#include "imaging/image_decoding.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "imaging/glib_handles.h"
#include "imaging/pixbuf_conversion.h"

namespace tovanel {
namespace {

// The bytes go to the loader in pieces that start small and double: a loader that has
// refused the size still unpacks the rest of the piece it holds, and 64 KiB of a PNG
// bomb's zeros are 66 MB, while its header is in the first kilobyte.
constexpr size_t kFirstPiece = 1024;
constexpr size_t kLargestPiece = 64 * 1024;

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

struct PictureSize {
  int64_t width = 0;
  int64_t height = 0;
};

uint32_t bigEndian32(std::span<const uint8_t> bytes, size_t at) {
  return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 | uint32_t{bytes[at + 2]} << 8 |
         bytes[at + 3];
}

// The WebP loader makes and fills the whole canvas even after its size was refused, so the size
// is read from the first chunk before it sees a byte: the extended header's canvas, or the frame's.
std::optional<PictureSize> webpSize(std::span<const uint8_t> bytes) {
  using namespace std::string_view_literals;
  if (bytes.size() < 30)
    return std::nullopt;
  const auto chunk = bytes.subspan(12);
  if (startsWith(chunk, "VP8X"sv))
    return PictureSize{1 + (littleEndian32(bytes, 24) & 0xffffff),
                       1 + (littleEndian32(bytes, 26) >> 8)};
  if (startsWith(chunk, "VP8L"sv) && bytes[20] == 0x2f)
    return PictureSize{1 + (littleEndian32(bytes, 21) & 0x3fff),
                       1 + (littleEndian32(bytes, 21) >> 14 & 0x3fff)};
  if (startsWith(chunk, "VP8 "sv))
    return PictureSize{(bytes[26] | bytes[27] << 8) & 0x3fff,
                       (bytes[28] | bytes[29] << 8) & 0x3fff};
  return std::nullopt;
}

// libheif decodes the whole picture before the loader tells its size, so the size is read from
// the boxes first: the largest image extent ("ispe", in meta > iprp > ipco) of any image.
void findHeifExtents(std::span<const uint8_t> boxes, std::optional<PictureSize>& largest,
                     int depth = 0) {
  using namespace std::string_view_literals;
  for (size_t at = 0; at + 8 <= boxes.size();) {
    uint64_t size = bigEndian32(boxes, at), header = 8;
    if (size == 1 && at + 16 <= boxes.size())
      size = uint64_t{bigEndian32(boxes, at + 8)} << 32 | bigEndian32(boxes, at + 12), header = 16;
    else if (size == 0)
      size = boxes.size() - at;
    if (size < header || size > boxes.size() - at)
      return;
    const auto type = boxes.subspan(at + 4), body = boxes.subspan(at + header, size - header);
    // Only the three levels down to the properties are read, however deep boxes nest.
    if (depth < 3 && startsWith(type, "meta"sv) && body.size() >= 4)
      findHeifExtents(body.subspan(4), largest, depth + 1);  // past the version and flags
    else if (depth < 3 && (startsWith(type, "iprp"sv) || startsWith(type, "ipco"sv)))
      findHeifExtents(body, largest, depth + 1);
    else if (startsWith(type, "ispe"sv) && body.size() >= 12) {
      // Held under 2^31 a side, so that the product cannot overflow.
      const PictureSize extent{std::min<int64_t>(bigEndian32(body, 4), int64_t{1} << 31),
                               std::min<int64_t>(bigEndian32(body, 8), int64_t{1} << 31)};
      if (!largest || extent.width * extent.height > largest->width * largest->height)
        largest = extent;
    }
    at += size;
  }
}

// The orientation (1 to 8) in a WebP's EXIF chunk, which its loader ignores; 0 without one.
int webpOrientation(std::span<const uint8_t> bytes) {
  using namespace std::string_view_literals;
  for (size_t at = 12; at + 8 <= bytes.size();) {
    const uint32_t size = littleEndian32(bytes, at + 4);
    if (size > bytes.size() - at - 8)
      return 0;
    if (startsWith(bytes.subspan(at), "EXIF"sv)) {
      auto tiff = bytes.subspan(at + 8, size);
      if (startsWith(tiff, "Exif\0\0"sv))
        tiff = tiff.subspan(6);
      if (tiff.size() < 8)
        return 0;
      const bool little = tiff[0] == 'I';
      const auto read16 = [&](size_t from) {
        return little ? tiff[from] | tiff[from + 1] << 8 : tiff[from] << 8 | tiff[from + 1];
      };
      const size_t ifd = little ? littleEndian32(tiff, 4) : bigEndian32(tiff, 4);
      // The first directory: a count, then entries of 12 bytes (tag, type, count, value).
      const size_t end = ifd + 2 <= tiff.size() ? ifd + 2 + 12 * size_t(read16(ifd)) : 0;
      for (size_t entry = ifd + 2; entry < end && entry + 12 <= tiff.size(); entry += 12)
        if (read16(entry) == 0x0112)
          return read16(entry + 8);
      return 0;
    }
    at += 8 + size + (size & 1);
  }
  return 0;
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
  if (startsWith(bytes, "RIFF"sv) &&
      startsWith(bytes.subspan(std::min<size_t>(8, bytes.size())), "WEBP"sv))
    return "webp";
  // HEIF stills, whose codec libheif has: HEVC ("heic", "heix"), or any ("mif1").
  const auto brand = bytes.subspan(std::min<size_t>(8, bytes.size()));
  if (startsWith(bytes.subspan(std::min<size_t>(4, bytes.size())), "ftyp"sv) &&
      (startsWith(brand, "heic"sv) || startsWith(brand, "heix"sv) || startsWith(brand, "mif1"sv)))
    return "heif/avif";
  return {};
}

ImageDecodeResult decodeImageBytes(std::span<const uint8_t> bytes, const ImageLimits& limits) {
  const std::string_view type = imageLoaderFor(bytes);
  if (type.empty())
    return {nullptr, ImageDecodeFailure::unsupportedFormat};
  if (bytes.size() > limits.maxBytes)
    return {nullptr, ImageDecodeFailure::tooLarge};
  // The WebP loader hands over a cut file's first rows as if it were whole; its RIFF size tells.
  if ((type == "jpeg" && !jpegReachesItsEnd(bytes)) ||
      (type == "bmp" && !bmpHeaderIsSound(bytes)) ||
      (type == "webp" && littleEndian32(bytes, 4) > bytes.size() - 8))
    return {nullptr, ImageDecodeFailure::unreadable};
  if (type == "webp" || type == "heif/avif") {
    std::optional<PictureSize> size = type == "webp" ? webpSize(bytes) : std::nullopt;
    if (type == "heif/avif")
      findHeifExtents(bytes, size);
    if (!size)
      return {nullptr, ImageDecodeFailure::unreadable};
    if (!withinLimits(size->width, size->height, limits))
      return {nullptr, ImageDecodeFailure::tooLarge};
  }

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
  if (const int orientation = type == "webp" ? webpOrientation(bytes) : 0; orientation > 1)
    gdk_pixbuf_set_option(pixbuf, "orientation", std::to_string(orientation).c_str());
  const std::unique_ptr<GdkPixbuf, ObjectRelease> upright(
      gdk_pixbuf_apply_embedded_orientation(pixbuf));
  CairoSurface surface = surfaceFromPixbuf(upright.get());
  if (!surface)
    return {nullptr, ImageDecodeFailure::unreadable};
  return {std::make_unique<CairoImage>(std::move(surface)), ImageDecodeFailure::none};
}

}  // namespace tovanel
