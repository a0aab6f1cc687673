// The printing services over the CUPS server that libcups finds (CUPS_SERVER, the
// user's client.conf, or the local scheduler).
#pragma once

#include <memory>

#include "imaging/cairo_image.h"
#include "platform/printing_services.h"

namespace tovanel {

// An image as these services decode it: a cairo image, drawn into the job's PDF page.
class CupsDecodedImage final : public DecodedImage {
 public:
  explicit CupsDecodedImage(std::unique_ptr<CairoImage> image) : image_(std::move(image)) {}

  int width() const override { return image_->width(); }
  int height() const override { return image_->height(); }
  const CairoImage& image() const { return *image_; }

 private:
  std::unique_ptr<CairoImage> image_;
};

class CupsPrintingServices final : public PrintingServices {
 public:
  // The shared settings' printer is read now, once: the CUPS default destination as it
  // stands, else the first printer, else none. Later only setSharedPrinter changes it;
  // should the server be down now, it is read at first use instead.
  CupsPrintingServices();

  std::vector<std::string> printerNames() override;
  std::optional<Printer> printerWithName(std::string_view name) override;
  Printer sharedPrinter() override;
  void setSharedPrinter(const Printer& printer) override;
  PaperSize paperSizeFor(const Printer& printer) override;
  std::unique_ptr<DecodedImage> decodeImage(std::span<const uint8_t> bytes) override;
  PrintOutcome runPrintOperation(const PrintJobSettings& settings,
                                 const DecodedImage& image) override;

 private:
  // Reads the shared printer unless it is known; it is known once the server answered.
  void settleSharedPrinter();

  Printer shared_;
  bool settled_ = false;
};

}  // namespace tovanel
