// Printing services held in memory, which record everything a caller asks of them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/printing_services.h"

namespace tovanel::testing {

struct FakePrinter {
  Printer printer;
  bool opens = true;  // false: listed, but printerWithName finds nothing
  PaperSize paper{288, 432};
};

class FakePrintingServices : public PrintingServices {
 public:
  // Adds a printer of that display name; its queue is the name with underscores.
  FakePrinter& addPrinter(const std::string& name, const std::string& type = "Fake Model",
                          bool opens = true);

  std::vector<std::string> printerNames() override;
  std::optional<Printer> printerWithName(std::string_view name) override;
  Printer sharedPrinter() override;
  void setSharedPrinter(const Printer& printer) override;
  PaperSize paperSizeFor(const Printer& printer) override;
  // Bytes that begin with fakeImageBytes() decode to a 100 x 150 image; others do not.
  std::unique_ptr<DecodedImage> decodeImage(std::span<const uint8_t> bytes) override;
  PrintOutcome runPrintOperation(const PrintJobSettings& settings,
                                 const DecodedImage& image) override;

  std::vector<FakePrinter> printers;
  Printer shared;                             // the shared settings' printer
  PrintOutcome printOutcome{true, {}};        // what runPrintOperation answers
  std::vector<std::string> calls;             // every call, e.g. "printerWithName Office"
  std::vector<PrintJobSettings> printedJobs;  // the settings of every print operation run
};

std::vector<uint8_t> fakeImageBytes();

}  // namespace tovanel::testing
