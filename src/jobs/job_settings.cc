#include "jobs/job_settings.h"

namespace tovanel {

PaperSize pageSizeInPoints(double widthMm, double heightMm) {
  return pointsOf(PaperDimensions{widthMm, heightMm});
}

Orientation orientationFor(const PaperSize& page) {
  return page.height < page.width ? Orientation::landscape : Orientation::portrait;
}

PrintJobSettings makePrintJobSettings(const Printer& printer, const PrintJobRequest& request) {
  const PaperSize page = pageSizeInPoints(request.widthMm, request.heightMm);
  PrintJobSettings settings;
  settings.printer = printer;
  settings.paperSize = page;
  settings.orientation = orientationFor(page);
  settings.topMargin = 0;
  settings.bottomMargin = 0;
  settings.leftMargin = 0;
  settings.rightMargin = 0;
  settings.horizontallyCentered = true;
  settings.verticallyCentered = true;
  settings.jobDisposition = JobDisposition::spool;
  settings.jobNameAttribute = request.jobName;
  settings.copiesAttribute = request.copies;
  settings.viewFrameSize = page;
  settings.imageScaling = kImageScaleProportionallyUpOrDown;
  settings.jobTitle = request.jobName;
  settings.showsPrintPanel = false;
  settings.showsProgressPanel = false;
  return settings;
}

}  // namespace tovanel
