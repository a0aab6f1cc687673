// The printing services over the CUPS server that libcups finds (CUPS_SERVER, the
// user's client.conf, or the local scheduler).
#pragma once

#include <optional>

#include "platform/printing_services.h"

namespace tovanel {

class CupsPrintingServices final : public PrintingServices {
 public:
  std::vector<std::string> printerNames() override;
  std::optional<Printer> printerWithName(std::string_view name) override;
  Printer sharedPrinter() override;
  void setSharedPrinter(const Printer& printer) override;
  PaperSize paperSizeFor(const Printer& printer) override;
  std::unique_ptr<DecodedImage> decodeImage(std::span<const uint8_t> bytes) override;
  bool runPrintOperation(const PrintJobSettings& settings, const DecodedImage& image) override;

 private:
  // Set once a printer is known: the CUPS default at first use, or the one set since.
  std::optional<Printer> shared_;
};

}  // namespace tovanel
