// Printing services held in memory: printers by display name, and every print recorded.
#pragma once

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/printing_services.h"
#include "support/rows.h"
#include "text/text.h"

namespace tovanel::testing {

class FakePrintingServices : public PrintingServices {
 public:
  struct FakePrinter {
    Printer printer;
    bool opens = true;  // false: listed, but printerWithName finds nothing
  };

  // Adds a printer of that display name; its queue is the name with underscores.
  Printer addPrinter(const std::string& name, const std::string& type = "Fake Model",
                     bool opens = true) {
    std::string queue = name;
    std::ranges::replace(queue, ' ', '_');
    return printers.emplace_back(FakePrinter{{name, type, queue}, opens}).printer;
  }

  std::vector<std::string> printerNames() override {
    std::vector<std::string> names;
    for (const auto& fake : printers)
      names.push_back(fake.printer.name);
    return names;
  }
  std::optional<Printer> printerWithName(std::string_view name) override {
    for (auto fake = printers.rbegin(); fake != printers.rend(); ++fake) {
      if (textEquals(fake->printer.name, name))
        return fake->opens ? std::optional(fake->printer) : std::nullopt;
    }
    return std::nullopt;
  }
  Printer sharedPrinter() override { return shared; }
  void setSharedPrinter(const Printer& printer) override { shared = printer; }
  PaperSize paperSizeFor(const Printer&) override { return {288, 432}; }
  // Any bytes but none decode to a 100 x 150 image.
  std::unique_ptr<DecodedImage> decodeImage(std::span<const uint8_t> bytes) override {
    struct Image : DecodedImage {
      int width() const override { return 100; }
      int height() const override { return 150; }
    };
    return bytes.empty() ? nullptr : std::make_unique<Image>();
  }
  PrintOutcome runPrintOperation(const PrintJobSettings& settings, const DecodedImage&) override {
    printedJobs.push_back(settings);
    return printOutcome;
  }

  std::vector<FakePrinter> printers;
  Printer shared;                             // the shared settings' printer
  PrintOutcome printOutcome{true, {}};        // what runPrintOperation answers
  std::vector<PrintJobSettings> printedJobs;  // the settings of every print operation run
};

}  // namespace tovanel::testing

namespace tovanel {
// How gtest names printers and sizes in a failure.
inline void PrintTo(const Printer& printer, std::ostream* out) {
  *out << "{" << printer.name << ", " << printer.type << ", queue " << printer.destination << "}";
}
inline void PrintTo(const PaperSize& size, std::ostream* out) {
  *out << testing::exactly(size.width) << " x " << testing::exactly(size.height) << " pt";
}
}  // namespace tovanel
