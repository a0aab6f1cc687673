#include "shell/window.h"

#include <cstdio>

#include "shell/journal.h"

namespace tovanel {
namespace {

constexpr double kTitleBarHeight = 28;

double titleBarHeight(unsigned styleMask) {
  return styleMask & kTitled ? kTitleBarHeight : 0;
}

}  // namespace

std::string describe(const Rect& rect) {
  char text[96];
  std::snprintf(text, sizeof text, "{%g, %g, %g, %g}", rect.x, rect.y, rect.width, rect.height);
  return text;
}

Window::Window(Rect contentRect, unsigned styleMask, BackingStore, bool)
    : frame_{contentRect.x, contentRect.y, contentRect.width,
             contentRect.height + titleBarHeight(styleMask)},
      styleMask_(styleMask) {
  journal("Window initWithContentRect " + describe(contentRect));
}

Window::~Window() = default;

void Window::awakeFromNib() {
  journal("Window awakeFromNib");
}

Rect Window::frame() const {
  journal("Window frame " + describe(frame_));
  return frame_;
}

void Window::setFrame(Rect frame, bool display) {
  journal("Window setFrame " + describe(frame) + (display ? " display" : ""));
  frame_ = frame;
}

void Window::setContentViewController(std::unique_ptr<ViewController> controller) {
  journal("Window setContentViewController");
  contentViewController_ = std::move(controller);
  if (!contentViewController_)
    return;
  // Frames grow upwards: keeping the top edge means moving the origin.
  const Size content = contentViewController_->preferredContentSize();
  const double height = content.height + titleBarHeight(styleMask_);
  frame_.y += frame_.height - height;
  frame_.width = content.width;
  frame_.height = height;
}

}  // namespace tovanel
