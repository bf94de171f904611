// NanoVG's OpenGL 3 back end, compiled once. GL entry points come from
// GLVND's libOpenGL, which serves whichever context is current.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include "nanovg.h"
#define NANOVG_GL3_IMPLEMENTATION
#include "nanovg_gl.h"
