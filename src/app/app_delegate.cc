#include "app/app_delegate.h"

#include "channel/install_printing_channel.h"

namespace tovanel {

AppDelegate::AppDelegate(PrintingServices& services) : services_(services) {}

void AppDelegate::applicationDidFinishLaunching(const Notification&) {
  installPrintingChannel(services_);
}

bool AppDelegate::applicationSupportsSecureRestorableState(Application&) {
  return true;
}

}  // namespace tovanel
