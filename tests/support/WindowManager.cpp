#include "support/WindowManager.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

// GLFW's X11 handles, as glfw3native.h declares them (that header also wants the Xrandr
// headers, which nothing else here needs).
extern "C" {
struct GLFWwindow;
Display* glfwGetX11Display(void);
Window glfwGetX11Window(GLFWwindow* window);
}

void setMinimisedAsAWindowManagerWould(GLFWwindow* window, bool minimised) {
    Display* display = glfwGetX11Display();
    const Window handle = glfwGetX11Window(window);
    const Atom wmState = XInternAtom(display, "WM_STATE", False);
    if (minimised) {
        const long state[2] = {IconicState, None};
        XChangeProperty(display, handle, wmState, wmState, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(state), 2);
    } else {
        XDeleteProperty(display, handle, wmState);
    }
    XSync(display, False);
}
