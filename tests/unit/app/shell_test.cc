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

// Tests that a new content view gives the window its size but keeps the top edge in place.
TEST(Window, ContentViewKeepsTheTopEdge) {
  Window window({0, 100, 10, 10}, kTitled, BackingStore::buffered, false);
  window.setContentViewController(std::make_unique<FlutterViewController>());
  EXPECT_EQ(window.frame(), (Rect{0, 100 + 38 - 748, 1280, 748}));
}

// Tests that a key asked for twice gets the same registrar, and another key another.
TEST(FlutterViewController, OneRegistrarPerKey) {
  FlutterViewController controller;
  PluginRegistrar& first = controller.registrarForPlugin("A");
  EXPECT_EQ(&controller.registrarForPlugin("A"), &first);
  EXPECT_NE(&controller.registrarForPlugin("B"), &first);
}

// Tests awakeFromNib's steps in order, the interface's frame kept and each plug-in under its key.
TEST(MainFlutterWindow, AwakeFromNibRunsItsStepsInOrder) {
  MainFlutterWindow window(kMainWindowContentRect, kMainWindowStyle, BackingStore::buffered, false);
  JournalRecorder journal;
  window.awakeFromNib();
  const std::string frame = describe(Rect{335, 390, 800, 628});
  std::vector<std::string> expected = {"FlutterEngine init", "FlutterViewController init",
                                       "Window frame " + frame, "Window setContentViewController",
                                       "Window setFrame " + frame + " display"};
  const char* plugins[][2] = {{"ConnectivityPlusPlugin", "connectivity_plus"},
                              {"FlutterSecureStorageDarwinPlugin", "flutter_secure_storage_darwin"},
                              {"FPPPackageInfoPlusPlugin", "package_info_plus"},
                              {"ScreenRetrieverMacosPlugin", "screen_retriever_macos"},
                              {"TrayManagerPlugin", "tray_manager"},
                              {"WindowManagerPlugin", "window_manager"}};
  for (const auto& [key, module] : plugins) {
    expected.push_back(std::string("FlutterViewController registrarForPlugin ") + key);
    expected.push_back(std::string("PluginRegistrar ") + key + " publish " + module);
  }
  expected.push_back("Window awakeFromNib");
  EXPECT_EQ(journal.events, expected);
}

// Tests that the delegate supports secure restorable state.
TEST(AppDelegate, SupportsSecureRestorableState) {
  testing::FakePrintingServices services;
  Application application;
  EXPECT_TRUE(AppDelegate(services).applicationSupportsSecureRestorableState(application));
}

}  // namespace
}  // namespace tovanel
