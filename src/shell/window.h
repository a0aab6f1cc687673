// The window objects of the application: a window with a frame and a content view
// controller. There is no screen here; what matters is the frame and what fills it.
#pragma once

#include <memory>
#include <string>

namespace tovanel {

struct Size {
  double width = 0;
  double height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

std::string describe(const Rect& rect);

// What fills a window.
class ViewController {
 public:
  virtual ~ViewController() = default;
  // The size its view asks for; a window takes it when the controller becomes its content.
  virtual Size preferredContentSize() const = 0;
};

enum StyleMask : unsigned {
  kTitled = 1 << 0,
  kClosable = 1 << 1,
  kMiniaturizable = 1 << 2,
  kResizable = 1 << 3,
};

enum class BackingStore { buffered };

class Application;

class Window {
 public:
  // The frame is the content rectangle plus a title bar when the style has one.
  Window(Rect contentRect, unsigned styleMask, BackingStore backing, bool defer);
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Sent once the main interface has created every object.
  virtual void awakeFromNib();

  Rect frame() const;
  void setFrame(Rect frame, bool display);

  ViewController* contentViewController() const { return contentViewController_.get(); }
  // The window owns the controller and resizes itself to the controller's preferred
  // content size, keeping its top-left corner.
  void setContentViewController(std::unique_ptr<ViewController> controller);

  // The application the window belongs to, once it has been added to one.
  Application* application() const { return application_; }

  std::string title;

 private:
  friend class Application;
  Application* application_ = nullptr;
  Rect frame_;
  unsigned styleMask_;
  std::unique_ptr<ViewController> contentViewController_;
};

}  // namespace tovanel
