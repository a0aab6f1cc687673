// Opens "com.tovanel.printing" on the engine of the application's main window.
#pragma once

#include "platform/printing_services.h"

namespace tovanel {

// Takes the first window of the shared application; when its content view controller
// is a FlutterViewController, installs PrintingChannelHandler, with the operations over
// `services`, on a method channel on that controller's engine messenger. Otherwise does
// nothing at all. `services` must live as long as the engine.
void installPrintingChannel(PrintingServices& services);

}  // namespace tovanel
