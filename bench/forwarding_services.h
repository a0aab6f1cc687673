// The CUPS printing services with decoding done another way, for a benchmark's "before"
// figure: everything else is the real services'.
#pragma once

#include "platform/libcups/cups_printing_services.h"

namespace tovanel::bench {

class ForwardingServices : public PrintingServices {
 public:
  std::vector<std::string> printerNames() override { return cups_.printerNames(); }
  std::optional<Printer> printerWithName(std::string_view name) override {
    return cups_.printerWithName(name);
  }
  Printer sharedPrinter() override { return cups_.sharedPrinter(); }
  void setSharedPrinter(const Printer& printer) override { cups_.setSharedPrinter(printer); }
  PaperSize paperSizeFor(const Printer& printer) override { return cups_.paperSizeFor(printer); }
  std::unique_ptr<DecodedImage> decodeImage(std::span<const uint8_t> bytes) override {
    return cups_.decodeImage(bytes);
  }
  PrintOutcome runPrintOperation(const PrintJobSettings& settings,
                                 const DecodedImage& image) override {
    return cups_.runPrintOperation(settings, image);
  }

 private:
  CupsPrintingServices cups_;
};

}  // namespace tovanel::bench
