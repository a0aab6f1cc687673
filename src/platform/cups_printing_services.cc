#include "platform/cups_printing_services.h"

#include <cups/cups.h>

#include "platform/cups_destinations.h"
#include "platform/cups_media.h"
#include "platform/cups_spooler.h"
#include "platform/image_decoding.h"
#include "platform/page_pdf.h"

namespace tovanel {

std::vector<std::string> CupsPrintingServices::printerNames() {
  std::vector<std::string> names;
  for (auto& printer : readCupsPrinters())
    names.push_back(std::move(printer.name));
  return names;
}

std::optional<Printer> CupsPrintingServices::printerWithName(std::string_view name) {
  return findCupsPrinter(readCupsPrinters(), name);
}

Printer CupsPrintingServices::sharedPrinter() {
  if (shared_)
    return *shared_;
  // The shared settings start on the CUPS default destination, else the first printer.
  // While the server knows no printer, the next call looks again.
  shared_ = readCupsDefaultPrinter();
  if (!shared_) {
    const auto printers = readCupsPrinters();
    if (printers.empty())
      return Printer{};
    shared_ = printers.front();
  }
  return *shared_;
}

void CupsPrintingServices::setSharedPrinter(const Printer& printer) {
  shared_ = printer;
}

PaperSize CupsPrintingServices::paperSizeFor(const Printer& printer) {
  // A destination without a default media that can be measured holds no known paper:
  // zero by zero, as for a paper keyword not recognised, rather than a guessed Letter.
  return defaultMediaSize(printer.destination).value_or(PaperSize{});
}

std::unique_ptr<DecodedImage> CupsPrintingServices::decodeImage(std::span<const uint8_t> bytes) {
  return decodeImageBytes(bytes).image;
}

bool CupsPrintingServices::runPrintOperation(const PrintJobSettings& settings,
                                             const DecodedImage& image) {
  const auto* drawable = dynamic_cast<const CairoImage*>(&image);
  const auto job = cupsJobFor(settings);
  if (!drawable || !job)
    return false;
  return spoolCupsJob(*job, CUPS_FORMAT_PDF, [&](const ByteSink& sink) {
    return writeImagePage(settings.paperSize, settings.viewFrameSize, *drawable, sink);
  });
}

}  // namespace tovanel
