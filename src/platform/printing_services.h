// What the host needs of the platform's printing system: printers, the shared print
// settings, image decoding and the print operation. Operations take it as a parameter
// so that tests pass a fake and the host passes the CUPS implementation.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/print_job_settings.h"

namespace tovanel {

// An image decoded by the platform, ready to be drawn.
class DecodedImage {
 public:
  virtual ~DecodedImage() = default;
  virtual int width() const = 0;
  virtual int height() const = 0;
};

// How a print operation ended: the job reached the print system, or why not (an empty
// reason when there is nothing more to say than that it failed).
struct PrintOutcome {
  bool printed = false;
  std::string reason;
};

class PrintingServices {
 public:
  virtual ~PrintingServices() = default;

  // Every printer's display name, in the platform's order.
  virtual std::vector<std::string> printerNames() = 0;

  // The printer whose display name equals `name` (canonically equivalent forms are
  // equal; no trimming, no case folding), or nothing when none can be opened. Where
  // several share the name, the last in the platform's order.
  virtual std::optional<Printer> printerWithName(std::string_view name) = 0;

  // The printer of the process-wide shared print settings: the application's current
  // printer, held by its queue. A printer with an empty name when the platform knew none.
  virtual Printer sharedPrinter() = 0;

  // Makes `printer` the shared settings' printer for the rest of the process.
  virtual void setSharedPrinter(const Printer& printer) = 0;

  // The paper, in points, that a copy of the shared settings holds once `printer` is set
  // on it. The shared settings themselves do not change.
  virtual PaperSize paperSizeFor(const Printer& printer) = 0;

  // Decodes encoded image bytes; nothing when they are not an image the platform reads.
  virtual std::unique_ptr<DecodedImage> decodeImage(std::span<const uint8_t> bytes) = 0;

  // Prints `image` with `settings`, no panels, and returns once the job has reached the
  // print system or has failed to. A job the printer could not print with the options
  // it would be sent is not sent.
  virtual PrintOutcome runPrintOperation(const PrintJobSettings& settings,
                                         const DecodedImage& image) = 0;
};

}  // namespace tovanel
