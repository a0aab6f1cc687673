// The application delegate: opens the printing channel once launching has finished.
#pragma once

#include "platform/printing_services.h"
#include "shell/application.h"

namespace tovanel {

class AppDelegate final : public FlutterAppDelegate {
 public:
  // The delegate of `application`; `services` stands for the platform's printing system
  // and must outlive the application.
  AppDelegate(Application& application, PrintingServices& services);

  // Opens the printing channel; the notification is not looked at.
  void applicationDidFinishLaunching(const Notification& notification) override;
  bool applicationSupportsSecureRestorableState(Application& application) override;

 private:
  Application& application_;
  PrintingServices& services_;
};

}  // namespace tovanel
