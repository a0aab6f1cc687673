#include "platform/libcups/cups_destinations.h"

#include <cups/cups.h>

#include <string>

#include "platform/libcups/cups_handles.h"
#include "text/text.h"

namespace tovanel {
namespace {

// A queue's description is the name people know it by; without one, its queue name.
Printer makePrinter(std::string queue, std::string info, std::string makeAndModel) {
  std::string name = info.empty() ? queue : std::move(info);
  return Printer{std::move(name), std::move(makeAndModel), std::move(queue)};
}

std::string text(ipp_attribute_t* attribute) {
  const char* value = ippGetString(attribute, 0, nullptr);
  return value ? value : "";
}

}  // namespace

std::optional<std::vector<Printer>> readCupsPrinters() {
  ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
  static const char* const kAttributes[] = {"printer-name", "printer-info",
                                            "printer-make-and-model"};
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                std::size(kAttributes), nullptr, kAttributes);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  const Ipp response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/"));

  if (!response)
    return std::nullopt;
  std::vector<Printer> printers;
  // Each printer is one group of attributes; a group ends at an attribute without a name.
  std::string queue, info, makeAndModel;
  const auto endPrinter = [&] {
    if (!queue.empty())
      printers.push_back(makePrinter(queue, info, makeAndModel));
    queue.clear();
    info.clear();
    makeAndModel.clear();
  };
  for (ipp_attribute_t* attribute = ippFirstAttribute(response.get()); attribute;
       attribute = ippNextAttribute(response.get())) {
    const char* name = ippGetName(attribute);
    if (!name) {
      endPrinter();
    } else if (ippGetGroupTag(attribute) == IPP_TAG_PRINTER) {
      const std::string_view attributeName = name;
      if (attributeName == "printer-name")
        queue = text(attribute);
      if (attributeName == "printer-info")
        info = text(attribute);
      if (attributeName == "printer-make-and-model")
        makeAndModel = text(attribute);
    }
  }
  endPrinter();
  return printers;
}

std::optional<Printer> findCupsPrinter(const std::vector<Printer>& printers,
                                       std::string_view name) {
  // The last, as the queue map that `lpstat` gives keeps the last queue of a description.
  for (auto printer = printers.rbegin(); printer != printers.rend(); ++printer) {
    if (textEquals(printer->name, name))
      return *printer;
  }
  return std::nullopt;
}

std::optional<Printer> readCupsDefaultPrinter() {
  const Destination dest(cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr));
  if (!dest)
    return std::nullopt;
  const auto option = [&dest](const char* name) {
    const char* value = cupsGetOption(name, dest->num_options, dest->options);
    return std::string(value ? value : "");
  };
  return makePrinter(dest->name, option("printer-info"), option("printer-make-and-model"));
}

}  // namespace tovanel
