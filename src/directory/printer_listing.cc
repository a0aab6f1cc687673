#include "directory/printer_listing.h"

#include "cups/cups_queue_map.h"
#include "cups/paper_size_query.h"
#include "cups/paper_sizes.h"
#include "text/text.h"

namespace tovanel {

ValueList listPrinters(PrintingServices& services, const CommandRunner& run) {
  const std::vector<std::string> names = services.printerNames();
  const std::string defaultName = services.sharedPrinter().name;
  // Read even when no printer is listed.
  const CupsQueueMap queues = getCupsMapping(run);

  ValueList records;
  records.reserve(names.size());
  for (const std::string& name : names) {
    ValueMap record{{"name", name},
                    {"isDefault", textEquals(name, defaultName)},
                    {"cupsName", resolveCupsName(name, queues)}};
    if (const auto printer = services.printerWithName(name)) {
      const PaperSize paper = services.paperSizeFor(*printer);
      record.emplace_back("type", printer->type);
      record.emplace_back("paperWidth", pointsToMillimetres(paper.width));
      record.emplace_back("paperHeight", pointsToMillimetres(paper.height));
      record.emplace_back("paperSizes", queryPaperSizes(run, name));
    }
    records.emplace_back(std::move(record));
  }
  return records;
}

}  // namespace tovanel
