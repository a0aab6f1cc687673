// The window, the plug-in registry and the main window's start-up.
#include <gtest/gtest.h>

#include "app/app_delegate.h"
#include "app/main_flutter_window.h"
#include "app/main_interface.h"
#include "shell/flutter_view_controller.h"
#include "shell/journal.h"
#include "support/fake_printing_services.h"

namespace tovanel {
namespace {

// Tests that a key asked twice gets one registrar, and a content view keeps the window's top edge.
TEST(Window, OneRegistrarPerKeyAndContentViewKeepsTheTopEdge) {
  auto controller = std::make_unique<FlutterViewController>();
  EXPECT_EQ(&controller->registrarForPlugin("A"), &controller->registrarForPlugin("A"));
  Window window({0, 100, 10, 10}, kTitled, BackingStore::buffered, false);
  window.setContentViewController(std::move(controller));
  EXPECT_EQ(window.frame(), (Rect{0, 100 + 38 - 748, 1280, 748}));
}

// Tests awakeFromNib's steps, frame and plug-in keys in order, and secure restorable state.
TEST(MainFlutterWindow, StartsUpInOrder) {
  MainFlutterWindow window(kMainWindowContentRect, kMainWindowStyle, BackingStore::buffered, false);
  JournalRecorder journal;
  window.awakeFromNib();
  std::vector<std::string> expected = {
      "FlutterEngine init", "FlutterViewController init", "Window frame {335, 390, 800, 628}",
      "Window setContentViewController", "Window setFrame {335, 390, 800, 628} display"};
  const char* plugins[][2] = {{"ConnectivityPlusPlugin", "connectivity_plus"},
                              {"FlutterSecureStorageDarwinPlugin", "flutter_secure_storage_darwin"},
                              {"FPPPackageInfoPlusPlugin", "package_info_plus"},
                              {"ScreenRetrieverMacosPlugin", "screen_retriever_macos"},
                              {"TrayManagerPlugin", "tray_manager"},
                              {"WindowManagerPlugin", "window_manager"}};
  for (const auto& [key, module] : plugins)
    expected.insert(expected.end(), {std::string("FlutterViewController registrarForPlugin ") + key,
                                     std::string("PluginRegistrar ") + key + " publish " + module});
  expected.push_back("Window awakeFromNib");
  EXPECT_EQ(journal.events, expected);
  testing::FakePrintingServices services;
  Application application;
  EXPECT_TRUE(AppDelegate(services).applicationSupportsSecureRestorableState(application));
}

}  // namespace
}  // namespace tovanel
