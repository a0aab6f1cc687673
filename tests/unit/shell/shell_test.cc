// The window and the plug-in registry.
#include <gtest/gtest.h>

#include "shell/flutter_view_controller.h"
#include "support/fake_messenger.h"

namespace tovanel {
namespace {

// Tests that a key asked twice gets one registrar, and a content view keeps the window's top edge.
TEST(Window, OneRegistrarPerKeyAndContentViewKeepsTheTopEdge) {
  testing::FakeMessenger messenger;
  auto controller = std::make_unique<FlutterViewController>(messenger);
  EXPECT_EQ(&controller->registrarForPlugin("A"), &controller->registrarForPlugin("A"));
  Window window({0, 100, 10, 10}, kTitled, BackingStore::buffered, false);
  window.setContentViewController(std::move(controller));
  EXPECT_EQ(window.frame(), (Rect{0, 100 + 38 - 748, 1280, 748}));
}

}  // namespace
}  // namespace tovanel
