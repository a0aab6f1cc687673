// Plain records of the platform's print settings: a printer, a paper size, and every
// setting that a print job makes.
#pragma once

#include <cstdint>
#include <string>

namespace tovanel {

// A printer as the platform knows it.
struct Printer {
  std::string name;         // display name
  std::string type;         // type name (make and model)
  std::string destination;  // the platform's own handle for it (the CUPS queue)

  friend bool operator==(const Printer&, const Printer&) = default;
};

// Width and height in points (1/72 inch).
struct PaperSize {
  double width = 0;
  double height = 0;

  friend bool operator==(const PaperSize&, const PaperSize&) = default;
};

enum class Orientation { portrait = 0, landscape = 1 };

enum class JobDisposition { spool };

// Proportional scaling that enlarges as well as reduces, so the whole image fits.
inline constexpr int kImageScaleProportionallyUpOrDown = 3;

// Everything a print job sets, derived as plain data before the platform is touched.
struct PrintJobSettings {
  Printer printer;
  PaperSize paperSize;
  Orientation orientation = Orientation::portrait;
  double topMargin = 0;
  double bottomMargin = 0;
  double leftMargin = 0;
  double rightMargin = 0;
  bool horizontallyCentered = false;
  bool verticallyCentered = false;
  JobDisposition jobDisposition = JobDisposition::spool;
  // The attribute dictionary: "NSPrintJobName" and "NSPrintCopies".
  std::string jobNameAttribute;
  int64_t copiesAttribute = 1;
  // The image view: frame origin (0, 0) and this size, with this scaling.
  PaperSize viewFrameSize;
  int imageScaling = kImageScaleProportionallyUpOrDown;
  // The print operation.
  std::string jobTitle;
  bool showsPrintPanel = false;
  bool showsProgressPanel = false;

  friend bool operator==(const PrintJobSettings&, const PrintJobSettings&) = default;
};

}  // namespace tovanel
