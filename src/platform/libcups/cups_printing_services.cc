#include "platform/libcups/cups_printing_services.h"

#include <cups/cups.h>

#include <cstdio>

#include "platform/libcups/cups_destinations.h"
#include "platform/libcups/cups_media.h"
#include "platform/libcups/cups_spooler.h"
#include "imaging/image_decoding.h"
#include "imaging/page_layout.h"
#include "imaging/page_pdf.h"

namespace tovanel {
namespace {

std::string millimetres(double points) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", points * 25.4 / 72);
  return text;
}

}  // namespace

CupsPrintingServices::CupsPrintingServices() {
  settleSharedPrinter();
}

void CupsPrintingServices::settleSharedPrinter() {
  if (settled_)
    return;
  const auto printers = readCupsPrinters();
  if (!printers)
    return;
  settled_ = true;
  // The default's description names one queue everywhere else: where queues share it,
  // the one that the name finds.
  if (const auto cupsDefault = readCupsDefaultPrinter())
    shared_ = findCupsPrinter(*printers, cupsDefault->name).value_or(*cupsDefault);
  else if (!printers->empty())
    shared_ = printers->front();
}

std::vector<std::string> CupsPrintingServices::printerNames() {
  std::vector<std::string> names;
  for (auto& printer : readCupsPrinters().value_or(std::vector<Printer>{}))
    names.push_back(std::move(printer.name));
  return names;
}

std::optional<Printer> CupsPrintingServices::printerWithName(std::string_view name) {
  return findCupsPrinter(readCupsPrinters().value_or(std::vector<Printer>{}), name);
}

Printer CupsPrintingServices::sharedPrinter() {
  settleSharedPrinter();
  return shared_;
}

void CupsPrintingServices::setSharedPrinter(const Printer& printer) {
  shared_ = printer;
  settled_ = true;
}

PaperSize CupsPrintingServices::paperSizeFor(const Printer& printer) {
  // A destination without a default media that can be measured holds no known paper:
  // zero by zero, as for a paper keyword not recognised, rather than a guessed Letter.
  return defaultMediaSize(printer.destination).value_or(PaperSize{});
}

std::unique_ptr<DecodedImage> CupsPrintingServices::decodeImage(std::span<const uint8_t> bytes) {
  return decodeImageBytes(bytes).image;
}

PrintOutcome CupsPrintingServices::runPrintOperation(const PrintJobSettings& settings,
                                                     const DecodedImage& image) {
  const auto* drawable = dynamic_cast<const CairoImage*>(&image);
  if (!drawable || !isPrintablePageSize(settings.paperSize))
    return {};
  const auto media = chooseMedia(readMediaOffer(settings.printer.destination), settings.paperSize);
  if (!media) {
    return {false, "Printer '" + settings.printer.name + "' has no paper that holds a page of " +
                       millimetres(settings.paperSize.width) + " x " +
                       millimetres(settings.paperSize.height) + " mm"};
  }
  const auto job = cupsJobFor(settings, *media);
  if (!job)
    return {};
  const bool spooled = spoolCupsJob(*job, CUPS_FORMAT_PDF, [&](const ByteSink& sink) {
    return writeImagePage(media->sheet, settings.viewFrameSize, media->turned, *drawable, sink);
  });
  return {spooled, {}};
}

}  // namespace tovanel
