#include "platform/cups_destinations.h"

#include <cups/cups.h>

#include "text/text.h"

namespace tovanel {
namespace {

// Owns the array that cupsGetDests2 returns.
class DestinationArray {
 public:
  DestinationArray() { count_ = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests_); }
  ~DestinationArray() { cupsFreeDests(count_, dests_); }
  DestinationArray(const DestinationArray&) = delete;
  DestinationArray& operator=(const DestinationArray&) = delete;

  const cups_dest_t* begin() const { return dests_; }
  const cups_dest_t* end() const { return dests_ + count_; }

 private:
  int count_ = 0;
  cups_dest_t* dests_ = nullptr;
};

std::string option(const cups_dest_t& dest, const char* name) {
  const char* value = cupsGetOption(name, dest.num_options, dest.options);
  return value ? value : "";
}

}  // namespace

std::vector<CupsDestination> readCupsDestinations() {
  std::vector<CupsDestination> destinations;
  for (const cups_dest_t& dest : DestinationArray()) {
    if (dest.instance)
      continue;  // lpoptions instances are settings, not printers
    // A queue's description is the name people know it by; without one, its queue name.
    std::string name = option(dest, "printer-info");
    if (name.empty())
      name = dest.name;
    destinations.push_back(
        {Printer{std::move(name), option(dest, "printer-make-and-model"), dest.name},
         dest.is_default != 0});
  }
  return destinations;
}

std::optional<Printer> findCupsPrinter(const std::vector<CupsDestination>& destinations,
                                       std::string_view name) {
  for (const auto& destination : destinations) {
    if (textEquals(destination.printer.name, name))
      return destination.printer;
  }
  return std::nullopt;
}

}  // namespace tovanel
