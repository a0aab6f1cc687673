#include "app/app_delegate.h"

#include "channel/install_printing_channel.h"

namespace tovanel {

AppDelegate::AppDelegate(Application& application, PrintingServices& services)
    : application_(application), services_(services) {}

void AppDelegate::applicationDidFinishLaunching(const Notification&) {
  installPrintingChannel(application_, services_);
}

bool AppDelegate::applicationSupportsSecureRestorableState(Application&) {
  return true;
}

}  // namespace tovanel
