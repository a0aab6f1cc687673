#include "directory/printer_listing.h"

#include <atomic>
#include <exception>
#include <mutex>
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
// tool runs stay in their order; only different printers' queries overlap. Whatever a
// query throws, on any thread, every thread is joined first and the first exception
// then goes on from this thread, where the call's single answer is given.
void runSideBySide(std::vector<PaperSizeQuery>& queries, const CommandRunner& run,
                   size_t concurrency) {
  std::atomic<size_t> next = 0;
  std::mutex failureLock;
  std::exception_ptr failure;
  const auto work = [&]() noexcept {
    try {
      for (size_t i; (i = next++) < queries.size();)
        *queries[i].sizes = queryPaperSizes(run, queries[i].displayName, queries[i].diagnostics);
    } catch (...) {
      next = queries.size();  // the others stop at their next query
      const std::lock_guard lock(failureLock);
      if (!failure)
        failure = std::current_exception();
    }
  };
  std::vector<std::thread> helpers;
  const size_t hands = std::min(concurrency, queries.size());
  helpers.reserve(hands);
  for (size_t i = 1; i < hands; ++i) {
    try {
      helpers.emplace_back(work);
    } catch (const std::exception&) {
      break;  // no thread to be had: fewer hands do the same work
    }
  }
  work();
  for (auto& helper : helpers)
    helper.join();
  if (failure)
    std::rethrow_exception(failure);
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
