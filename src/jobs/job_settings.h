// The settings of a silent print job, derived from its request as plain data before
// the platform is touched.
#pragma once

#include "jobs/print_job_request.h"
#include "platform/print_job_settings.h"

namespace tovanel {

// Millimetres to points: multiplied by 72.0 first, divided by 25.4 second, never rounded,
// so the defaults give exactly 288.0 x 432.00000000000006.
PaperSize pageSizeInPoints(double widthMm, double heightMm);

// Landscape only when the page is strictly lower than wide; a square page, and any
// comparison with a NaN, gives portrait.
Orientation orientationFor(const PaperSize& page);

// Every setting of the job for `printer`: the page as converted (never swapped to suit
// the orientation), zero margins, centred, spooled, the job name as attribute and title,
// copies as given (no correction of 0 or less), an image view of the page's size that
// scales proportionally, and no panels.
PrintJobSettings makePrintJobSettings(const Printer& printer, const PrintJobRequest& request);

}  // namespace tovanel
