// The printing services over the CUPS server that libcups finds (CUPS_SERVER, the
// user's client.conf, or the local scheduler).
#pragma once

#include <memory>

#include "imaging/printable.h"
#include "platform/printing_services.h"

namespace tovanel {

// An image or document as these services decode it, drawn into the job's PDF pages.
class CupsDecodedImage final : public DecodedImage {
 public:
  explicit CupsDecodedImage(std::unique_ptr<Printable> printable)
      : printable_(std::move(printable)) {}

  int width() const override { return static_cast<int>(printable_->size().width); }
  int height() const override { return static_cast<int>(printable_->size().height); }
  const Printable& printable() const { return *printable_; }

 private:
  std::unique_ptr<Printable> printable_;
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
