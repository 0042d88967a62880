// The desktop's windows through libX11, loaded with dlopen; see desktop_windows.h. Only the Xlib
// types come from its header: the functions are looked up at run time.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <dlfcn.h>

#include <cstdlib>
#include <mutex>

#include "platform/desktop_windows.h"

namespace kolvar::platform {
namespace {

struct Xlib {
  decltype(&XOpenDisplay) open_display = nullptr;
  decltype(&XCloseDisplay) close_display = nullptr;
  decltype(&XInternAtom) intern_atom = nullptr;
  decltype(&XGetWindowProperty) get_property = nullptr;
  decltype(&XQueryTree) query_tree = nullptr;
  decltype(&XGetWindowAttributes) get_attributes = nullptr;
  decltype(&XSendEvent) send_event = nullptr;
  decltype(&XFlush) flush = nullptr;
  decltype(&XFree) free = nullptr;
  bool loaded = false;
};

const Xlib& LoadXlib() {
  static Xlib xlib;
  static std::once_flag once;
  std::call_once(once, [] {
    void* library = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return;
    auto get = [library](auto* function, const char* name) {
      *function =
          reinterpret_cast<std::remove_reference_t<decltype(*function)>>(dlsym(library, name));
      return *function != nullptr;
    };
    xlib.loaded =
        get(&xlib.open_display, "XOpenDisplay") && get(&xlib.close_display, "XCloseDisplay") &&
        get(&xlib.intern_atom, "XInternAtom") && get(&xlib.get_property, "XGetWindowProperty") &&
        get(&xlib.query_tree, "XQueryTree") && get(&xlib.get_attributes, "XGetWindowAttributes") &&
        get(&xlib.send_event, "XSendEvent") && get(&xlib.flush, "XFlush") &&
        get(&xlib.free, "XFree");
  });
  return xlib;
}

// One connection for one question.
class Connection {
 public:
  Connection() : xlib_(LoadXlib()) {
    const char* name = getenv("DISPLAY");
    if (xlib_.loaded && name != nullptr && *name != '\0') display_ = xlib_.open_display(nullptr);
  }
  ~Connection() {
    if (display_ != nullptr) xlib_.close_display(display_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool usable() const { return display_ != nullptr; }
  Window root() const { return DefaultRootWindow(display_); }
  Atom AtomOf(const char* name) const { return xlib_.intern_atom(display_, name, False); }

  // A property of 32-bit items (windows, atoms, cardinals); empty when missing.
  std::vector<unsigned long> Items(Window window, const char* name, Atom type) const {
    std::vector<unsigned long> items;
    Atom actual_type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (xlib_.get_property(display_, window, AtomOf(name), 0, 1 << 16, False, type, &actual_type,
                           &format, &count, &after, &data) != Success) {
      return items;
    }
    if (data != nullptr && format == 32) {
      const auto* values = reinterpret_cast<const unsigned long*>(data);
      items.assign(values, values + count);
    }
    if (data != nullptr) xlib_.free(data);
    return items;
  }

  uint32_t PidOf(Window window) const {
    const std::vector<unsigned long> pid = Items(window, "_NET_WM_PID", XA_CARDINAL);
    return pid.empty() ? 0 : static_cast<uint32_t>(pid[0]);
  }

  bool Viewable(Window window) const {
    XWindowAttributes attributes;
    return xlib_.get_attributes(display_, window, &attributes) != 0 &&
           attributes.map_state == IsViewable;
  }

  std::vector<Window> RootChildren() const {
    Window root_return = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    std::vector<Window> windows;
    if (xlib_.query_tree(display_, root(), &root_return, &parent, &children, &count) == 0) {
      return windows;
    }
    windows.assign(children, children + count);
    if (children != nullptr) xlib_.free(children);
    return windows;
  }

  bool SupportsActiveWindow() const {
    const Atom active = AtomOf("_NET_ACTIVE_WINDOW");
    for (unsigned long atom : Items(root(), "_NET_SUPPORTED", XA_ATOM)) {
      if (atom == active) return true;
    }
    return false;
  }

  bool Activate(Window window) const {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = AtomOf("_NET_ACTIVE_WINDOW");
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;  // the request comes from a tool acting for the user
    event.xclient.data.l[1] = CurrentTime;
    const bool sent =
        xlib_.send_event(display_, root(), False, SubstructureRedirectMask | SubstructureNotifyMask,
                         &event) != 0;
    xlib_.flush(display_);
    return sent;
  }

 private:
  const Xlib& xlib_;
  Display* display_ = nullptr;
};

}  // namespace

std::vector<TopWindow> ListTopWindows() {
  std::vector<TopWindow> windows;
  Connection connection;
  if (!connection.usable()) return windows;
  // The window manager's list of the windows it manages; without a window manager, the viewable
  // children of the root.
  std::vector<unsigned long> managed =
      connection.Items(connection.root(), "_NET_CLIENT_LIST_STACKING", XA_WINDOW);
  if (managed.empty()) managed = connection.Items(connection.root(), "_NET_CLIENT_LIST", XA_WINDOW);
  if (managed.empty()) {
    for (Window window : connection.RootChildren()) {
      if (connection.Viewable(window)) managed.push_back(window);
    }
  }
  for (unsigned long window : managed) {
    const uint32_t pid = connection.PidOf(window);
    if (pid != 0) windows.push_back({window, pid});
  }
  return windows;
}

bool CanActivateWindows() {
  Connection connection;
  return connection.usable() && connection.SupportsActiveWindow();
}

bool ActivateWindow(uint64_t window) {
  Connection connection;
  if (!connection.usable() || !connection.SupportsActiveWindow()) return false;
  return connection.Activate(static_cast<Window>(window));
}

}  // namespace kolvar::platform
