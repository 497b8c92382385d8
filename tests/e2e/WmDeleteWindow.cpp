// Asks an X window to close the way a window manager does when the user
// clicks its close button or presses Alt+F4: a WM_PROTOCOLS client message
// carrying WM_DELETE_WINDOW. The test displays run no window manager.
//
//   e2e_wm_delete_window WINDOW_ID
//
// Exit status 0 when the message was sent, 1 when the window does not take
// WM_DELETE_WINDOW, 2 on a usage or display error.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>

namespace {

bool TakesDeleteWindow(Display* pDisplay, Window window, Atom deleteWindow) {
  Atom* pProtocols = nullptr;
  int count = 0;
  if (XGetWMProtocols(pDisplay, window, &pProtocols, &count) == 0)
    return false;
  bool found = false;
  for (int i = 0; i < count; ++i)
    found = found || pProtocols[i] == deleteWindow;
  XFree(pProtocols);
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s WINDOW_ID\n", argv[0]);
    return 2;
  }
  char* pEnd = nullptr;
  const Window window = std::strtoul(argv[1], &pEnd, 0);
  if (pEnd == argv[1] || *pEnd != '\0' || window == 0) {
    std::fprintf(stderr, "bad window id %s\n", argv[1]);
    return 2;
  }
  Display* pDisplay = XOpenDisplay(nullptr);
  if (pDisplay == nullptr) {
    std::fprintf(stderr, "cannot open the display\n");
    return 2;
  }
  const Atom protocols = XInternAtom(pDisplay, "WM_PROTOCOLS", False);
  const Atom deleteWindow = XInternAtom(pDisplay, "WM_DELETE_WINDOW", False);
  int status = 1;
  if (TakesDeleteWindow(pDisplay, window, deleteWindow)) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(deleteWindow);
    event.xclient.data.l[1] = CurrentTime;
    status = XSendEvent(pDisplay, window, False, NoEventMask, &event) != 0 ? 0 : 2;
    XSync(pDisplay, False);
  } else {
    std::fprintf(stderr, "window 0x%lx does not take WM_DELETE_WINDOW\n", window);
  }
  XCloseDisplay(pDisplay);
  return status;
}
