#include "channel/install_printing_channel.h"

#include <memory>

#include "channel/channel_operations.h"
#include "channel/printing_channel_handler.h"
#include "messenger/method_channel.h"
#include "shell/application.h"
#include "shell/flutter_view_controller.h"

namespace tovanel {

void installPrintingChannel(Application& application, PrintingServices& services) {
  const auto windows = application.windows();
  if (windows.empty())
    return;
  auto* controller = dynamic_cast<FlutterViewController*>(windows.front()->contentViewController());
  if (!controller)
    return;
  BinaryMessenger& messenger = controller->engine().binaryMessenger();
  MethodChannel channel(kPrintingChannelName, messenger);
  auto handler = std::make_shared<const PrintingChannelHandler>(makeChannelOperations(services));
  channel.setMethodCallHandler([handler](const MethodCall& call, ReplyCallback reply) {
    handler->handleMethodCall(call, std::move(reply));
  });
}

}  // namespace tovanel
