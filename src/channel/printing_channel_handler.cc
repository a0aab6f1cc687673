#include "channel/printing_channel_handler.h"

#include <utility>

#include "channel/arguments.h"
#include "messenger/error_codes.h"
#include "text/text.h"

namespace tovanel {
namespace {

// The argument map of a call that needs one: string keys only, and not empty.
const ValueMap* usableArguments(const Value& arguments) {
  const auto* map = stringKeyedMap(arguments);
  return map && !map->empty() ? map : nullptr;
}

// The "printerName" string of a call that needs one; otherwise answers the call.
std::optional<std::string> requirePrinterName(const Value& arguments, ReplyCallback& reply) {
  const auto* map = usableArguments(arguments);
  auto printerName = map ? stringArgument(*map, "printerName") : std::nullopt;
  if (!printerName)
    reply.error(error_codes::kInvalidArguments, "Printer name required");
  return printerName;
}

}  // namespace

PrintingChannelHandler::PrintingChannelHandler(ChannelOperations operations)
    : operations_(std::move(operations)) {}

void PrintingChannelHandler::handleMethodCall(const MethodCall& call, ReplyCallback reply) const {
  const std::string& method = call.method;
  if (textEquals(method, "printDocument")) {
    printDocument(call.arguments, std::move(reply));
  } else if (textEquals(method, "printerlist")) {
    // Whatever arguments came are not looked at.
    reply.success(operations_.listPrinters());
  } else if (textEquals(method, "setDefaultPrinter")) {
    const auto printerName = requirePrinterName(call.arguments, reply);
    if (!printerName)
      return;
    operations_.setSystemDefaultPrinter(*printerName, std::move(reply));
  } else if (textEquals(method, "getPaperSizes")) {
    const auto printerName = requirePrinterName(call.arguments, reply);
    if (!printerName)
      return;
    reply.success(operations_.queryPaperSizes(*printerName));
  } else if (textEquals(method, "getPrinterStatus")) {
    const auto printerName = requirePrinterName(call.arguments, reply);
    if (!printerName)
      return;
    reply.success(operations_.printerStatus(*printerName));
  } else {
    reply.notImplemented();
  }
}

void PrintingChannelHandler::printDocument(const Value& arguments, ReplyCallback reply) const {
  const auto* map = usableArguments(arguments);
  const Value* image = map ? typedDataArgument(*map, "imageBytes") : nullptr;
  if (!image)
    return reply.error(error_codes::kInvalidArguments, "Invalid Image Data");

  // Each argument left out keeps the request's own default.
  PrintJobRequest request;
  request.printerName = stringArgument(*map, "printerName").value_or(request.printerName);
  request.widthMm = doubleArgument(*map, "width").value_or(request.widthMm);
  request.heightMm = doubleArgument(*map, "height").value_or(request.heightMm);
  request.copies = integerArgument(*map, "copies").value_or(request.copies);
  request.jobName = stringArgument(*map, "jobName").value_or(request.jobName);
  const std::string_view bytes = typedDataBytes(*image);
  request.imageBytes = {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
  operations_.printImage(request, std::move(reply));
}

}  // namespace tovanel
