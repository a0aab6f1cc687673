#include "platform/libcups/cups_printing_services.h"

#include <cups/cups.h>

#include <cstdio>

#include "imaging/page_pdf.h"
#include "platform/libcups/cups_destinations.h"
#include "platform/libcups/cups_job_options.h"
#include "platform/libcups/cups_media.h"
#include "platform/libcups/cups_spooler.h"
#include "platform/libcups/media_choice.h"

namespace tovanel {
namespace {

std::string oneDecimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

// The image view's frame, margins, centring and scaling, on the sheet of `media`.
PageLayout pageLayoutFor(const PrintJobSettings& settings, const MediaChoice& media) {
  return {.sheet = media.sheet,
          .frame = settings.viewFrameSize,
          .turned = media.turned,
          .topMargin = settings.topMargin,
          .bottomMargin = settings.bottomMargin,
          .leftMargin = settings.leftMargin,
          .rightMargin = settings.rightMargin,
          .horizontallyCentered = settings.horizontallyCentered,
          .verticallyCentered = settings.verticallyCentered,
          .scaling = static_cast<ImageScaling>(settings.imageScaling)};
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
  auto decoded = decodePrintable(bytes);
  if (!decoded.printable)
    return nullptr;
  return std::make_unique<CupsDecodedImage>(std::move(decoded.printable));
}

PrintOutcome CupsPrintingServices::runPrintOperation(const PrintJobSettings& settings,
                                                     const DecodedImage& image) {
  const auto* decoded = dynamic_cast<const CupsDecodedImage*>(&image);
  // Where the page enters the platform: nothing past this line meets a page no medium has.
  if (!decoded || !isPrintablePageSize(settings.paperSize))
    return {};
  const auto media = chooseMedia(readMediaOffer(settings.printer.destination), settings.paperSize);
  if (!media) {
    const PaperDimensions page = millimetresOf(settings.paperSize);
    return {false, "Printer '" + settings.printer.name + "' has no paper that holds a page of " +
                       oneDecimal(page.width) + " x " + oneDecimal(page.height) + " mm"};
  }
  const auto job = cupsJobFor(settings, *media);
  if (!job)
    return {};
  const PageLayout layout = pageLayoutFor(settings, *media);
  const bool spooled = spoolCupsJob(*job, CUPS_FORMAT_PDF, [&](const ByteSink& sink) {
    return writePages(layout, decoded->printable(), sink);
  });
  return {spooled, {}};
}

}  // namespace tovanel
