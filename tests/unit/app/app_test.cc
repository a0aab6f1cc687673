// The application's start-up: the main window, its plug-ins and the printing channel.
#include <gtest/gtest.h>

#include "app/app_delegate.h"
#include "app/main_interface.h"
#include "shell/journal.h"
#include "support/fake_messenger.h"
#include "support/fake_printing_services.h"

namespace tovanel {
namespace {

// Tests the start-up in order, plug-ins by key, and the channel on the messenger it was given.
TEST(Application, StartsUpInOrderAndOpensThePrintingChannel) {
  testing::FakeMessenger messenger;
  testing::FakePrintingServices services;
  services.addPrinter("Label");
  JournalRecorder journal;
  Application application(messenger);
  application.finishLaunching(
      [&services](Application& loading) { loadMainInterface(loading, services); });
  // clang-format off
  std::vector<std::string> expected = {
      "Application load main interface", "FlutterAppDelegate init",
      "Window initWithContentRect {335, 390, 800, 600}", "FlutterEngine init",
      "FlutterViewController init", "Window frame {335, 390, 800, 628}",
      "Window setContentViewController", "Window setFrame {335, 390, 800, 628} display"};
  // The plug-ins by key, each with its module.
  const std::pair<const char*, const char*> plugins[] = {
      {"ConnectivityPlusPlugin", "connectivity_plus"},
      {"FlutterSecureStorageDarwinPlugin", "flutter_secure_storage_darwin"},
      {"FPPPackageInfoPlusPlugin", "package_info_plus"},
      {"ScreenRetrieverMacosPlugin", "screen_retriever_macos"},
      {"TrayManagerPlugin", "tray_manager"}, {"WindowManagerPlugin", "window_manager"}};
  // clang-format on
  for (const auto& [key, module] : plugins) {
    expected.push_back(std::string("FlutterViewController registrarForPlugin ") + key);
    expected.push_back(std::string("PluginRegistrar ") + key + " publish " + module);
  }
  expected.insert(expected.end(),
                  {"Window awakeFromNib", "Application didFinishLaunching", "Application windows"});
  EXPECT_EQ(journal.events, expected);
  EXPECT_EQ(messenger.call("com.tovanel.printing", {"getPrinterStatus", testing::named("Label")}),
            testing::kOnline);
  EXPECT_TRUE(application.delegate()->applicationSupportsSecureRestorableState(application));
}

}  // namespace
}  // namespace tovanel
