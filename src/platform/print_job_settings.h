// Plain records of the platform's print settings: a printer, a paper size, and every
// setting that a print job makes.
#pragma once

#include <cstdint>
#include <string>

#include "base/units.h"

namespace tovanel {

// A printer as the platform knows it.
struct Printer {
  std::string name;         // display name
  std::string type;         // type name (make and model)
  std::string destination;  // the platform's own handle for it (the CUPS queue)

  friend bool operator==(const Printer&, const Printer&) = default;
};

enum class Orientation { portrait = 0, landscape = 1 };

enum class JobDisposition { spool };

// Proportional scaling that enlarges as well as reduces, so the whole image fits.
inline constexpr int kImageScaleProportionallyUpOrDown = 3;

// Everything a print job sets, derived as plain data before the platform is touched.
struct PrintJobSettings {
  Printer printer;
  PaperSize paperSize;
  // Kept as the job sets it: the page is laid out by its own size, and which way it lies
  // on a sheet is the media choice's, which turns it onto a sheet that holds it.
  Orientation orientation = Orientation::portrait;
  double topMargin = 0;
  double bottomMargin = 0;
  double leftMargin = 0;
  double rightMargin = 0;
  bool horizontallyCentered = false;
  bool verticallyCentered = false;
  // Kept as the job sets it: every job here goes to the queue, as spooling is the only way.
  JobDisposition jobDisposition = JobDisposition::spool;
  // The attribute dictionary: "NSPrintJobName" and "NSPrintCopies". The name is kept as
  // set: CUPS gets the job's title, which is the same name.
  std::string jobNameAttribute;
  int64_t copiesAttribute = 1;
  // The image view: frame origin (0, 0) and this size, with this scaling.
  PaperSize viewFrameSize;
  int imageScaling = kImageScaleProportionallyUpOrDown;
  // The print operation. No panel exists here to show: the switches are kept as set.
  std::string jobTitle;
  bool showsPrintPanel = false;
  bool showsProgressPanel = false;

  friend bool operator==(const PrintJobSettings&, const PrintJobSettings&) = default;
};

}  // namespace tovanel
