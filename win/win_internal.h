#pragma once
// Helpers shared inside the window subsystem and its tests. Not for other folders.

struct GLFWwindow;
struct gr_window_s;

// Returns the toolkit's modifier bits (shift 4, control 2, alt 1) for GLFW's.
unsigned win__modifiers(int glfw_mods);

// Returns the magnification step of a Control + wheel turn of the given
// notches: each notch up zooms by 1.1, each notch down by 1 / 1.1.
float win__magnification(double notches);

// Returns the window's GLFW window.
GLFWwindow* win__glfw(gr_window_s* window);
