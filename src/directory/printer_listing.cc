#include "directory/printer_listing.h"

#include <atomic>
#include <system_error>
#include <thread>

#include "cups/cups_queue_map.h"
#include "cups/paper_size_query.h"
#include "cups/paper_sizes.h"
#include "text/text.h"

namespace tovanel {
namespace {

struct PaperSizeQuery {
  std::string displayName;
  ValueList* sizes;  // where the answer goes: a record's "paperSizes"
  DiagnosticLines diagnostics = DiagnosticLines::kept();
};

// Runs the queries on up to `concurrency` threads, this one among them. Each query's own
// tool runs stay in their order; only different printers' queries overlap.
void runSideBySide(std::vector<PaperSizeQuery>& queries, const CommandRunner& run,
                   size_t concurrency) {
  std::atomic<size_t> next = 0;
  const auto work = [&] {
    for (size_t i; (i = next++) < queries.size();)
      *queries[i].sizes = queryPaperSizes(run, queries[i].displayName, queries[i].diagnostics);
  };
  std::vector<std::thread> helpers;
  for (size_t i = 1; i < std::min(concurrency, queries.size()); ++i) {
    try {
      helpers.emplace_back(work);
    } catch (const std::system_error&) {
      break;  // no thread to be had: fewer hands do the same work
    }
  }
  work();
  for (auto& helper : helpers)
    helper.join();
}

}  // namespace

ValueList listPrinters(PrintingServices& services, const CommandRunner& run, size_t concurrency) {
  const std::vector<std::string> names = services.printerNames();
  const std::string defaultName = services.sharedPrinter().name;
  // Read even when no printer is listed.
  DiagnosticLines diagnostics = DiagnosticLines::printed();
  const CupsQueueMap queues = getCupsMapping(run, diagnostics);

  ValueList records(names.size());
  std::vector<PaperSizeQuery> queries;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    ValueMap record{{"name", name},
                    {"isDefault", textEquals(name, defaultName)},
                    {"cupsName", resolveCupsName(name, queues)}};
    const auto printer = services.printerWithName(name);
    if (printer) {
      const PaperSize paper = services.paperSizeFor(*printer);
      record.emplace_back("type", printer->type);
      record.emplace_back("paperWidth", pointsToMillimetres(paper.width));
      record.emplace_back("paperHeight", pointsToMillimetres(paper.height));
      record.emplace_back("paperSizes", ValueList{});
    }
    records[i] = std::move(record);
    if (printer)
      queries.push_back({name, records[i].getIf<ValueMap>()->back().second.getIf<ValueList>()});
  }
  runSideBySide(queries, run, concurrency);
  // In the listing's order, as one query after another would have written them.
  for (auto& query : queries)
    query.diagnostics.printKept();
  return records;
}

}  // namespace tovanel
