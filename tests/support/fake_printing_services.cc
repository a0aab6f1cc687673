#include "support/fake_printing_services.h"

#include <algorithm>

#include "text/text.h"

namespace tovanel::testing {
namespace {

constexpr std::string_view kFakeImageMagic = "FAKEIMG";

class FakeImage : public DecodedImage {
 public:
  int width() const override { return 100; }
  int height() const override { return 150; }
};

}  // namespace

FakePrinter& FakePrintingServices::addPrinter(const std::string& name, const std::string& type,
                                              bool opens) {
  std::string queue = name;
  std::replace(queue.begin(), queue.end(), ' ', '_');
  printers.push_back({Printer{name, type, queue}, opens, PaperSize{288, 432}});
  return printers.back();
}

std::vector<std::string> FakePrintingServices::printerNames() {
  calls.push_back("printerNames");
  std::vector<std::string> names;
  for (const auto& fake : printers)
    names.push_back(fake.printer.name);
  return names;
}

std::optional<Printer> FakePrintingServices::printerWithName(std::string_view name) {
  calls.push_back("printerWithName " + std::string(name));
  for (auto fake = printers.rbegin(); fake != printers.rend(); ++fake) {
    if (textEquals(fake->printer.name, name))
      return fake->opens ? std::optional<Printer>(fake->printer) : std::nullopt;
  }
  return std::nullopt;
}

Printer FakePrintingServices::sharedPrinter() {
  calls.push_back("sharedPrinter");
  return shared;
}

void FakePrintingServices::setSharedPrinter(const Printer& printer) {
  calls.push_back("setSharedPrinter " + printer.name);
  shared = printer;
}

PaperSize FakePrintingServices::paperSizeFor(const Printer& printer) {
  calls.push_back("paperSizeFor " + printer.name);
  for (const auto& fake : printers) {
    if (fake.printer == printer)
      return fake.paper;
  }
  return PaperSize{};
}

std::unique_ptr<DecodedImage> FakePrintingServices::decodeImage(std::span<const uint8_t> bytes) {
  calls.push_back("decodeImage");
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (!text.starts_with(kFakeImageMagic))
    return nullptr;
  return std::make_unique<FakeImage>();
}

PrintOutcome FakePrintingServices::runPrintOperation(const PrintJobSettings& settings,
                                                     const DecodedImage&) {
  calls.push_back("runPrintOperation");
  printedJobs.push_back(settings);
  return printOutcome;
}

std::vector<uint8_t> fakeImageBytes() {
  return std::vector<uint8_t>(kFakeImageMagic.begin(), kFakeImageMagic.end());
}

}  // namespace tovanel::testing
