#pragma once

struct GLFWwindow;

// Marks the window minimised, or not, as a window manager does: through its WM_STATE property
// (IconicState, or no property), which is what GLFW reads. Xvfb runs no window manager that
// would do it on request. Kept apart from the tests, as Xlib's macros (None, Bool) clash with
// GoogleTest's names.
void setMinimisedAsAWindowManagerWould(GLFWwindow* window, bool minimised);
