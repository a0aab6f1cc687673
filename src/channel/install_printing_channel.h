// Opens "com.tovanel.printing" on the engine of the application's main window.
#pragma once

#include "platform/printing_services.h"
#include "shell/application.h"

namespace tovanel {

// Takes the first window of `application`; when its content view controller is a
// FlutterViewController, installs PrintingChannelHandler, with the operations over
// `services`, on a method channel on that controller's engine messenger. Otherwise does
// nothing at all. `services` must live as long as the engine.
void installPrintingChannel(Application& application, PrintingServices& services);

}  // namespace tovanel
