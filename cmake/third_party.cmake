# External code from Debian packages, one target each. Sources are compiled
# where the packages put them; nothing is copied into the repository.

find_package(Threads REQUIRED)

# stb single-file libraries (libstb-dev). The implementations are compiled
# once, in sw_stb, without our warning flags.
find_path(SW_STB_INCLUDE_DIR stb_image.h PATHS /usr/include/stb REQUIRED)
add_library(sw_stb STATIC ${CMAKE_SOURCE_DIR}/cmake/stb_impl.c)
target_include_directories(sw_stb SYSTEM PUBLIC ${SW_STB_INCLUDE_DIR})
target_link_libraries(sw_stb PUBLIC m)
# stb's encoders shift negative and wide ints on purpose; UBSan would stop on
# third-party code we do not edit. AddressSanitizer still covers it.
if(SPOTWEAVE_ASAN)
    target_compile_options(sw_stb PRIVATE -fno-sanitize=undefined)
endif()

# LZ4 block format (liblz4-dev).
find_path(SW_LZ4_INCLUDE_DIR lz4.h REQUIRED)
find_library(SW_LZ4_LIBRARY lz4 REQUIRED)
add_library(sw_lz4 INTERFACE)
target_include_directories(sw_lz4 SYSTEM INTERFACE ${SW_LZ4_INCLUDE_DIR})
target_link_libraries(sw_lz4 INTERFACE ${SW_LZ4_LIBRARY})

# Roboto Light (fonts-roboto-unhinted), embedded as "RobotoLight".
find_file(SW_ROBOTO_LIGHT Roboto-Light.ttf
    PATHS /usr/share/fonts/truetype/roboto/unhinted/RobotoTTF
          /usr/share/fonts/truetype/roboto/unhinted
    NO_DEFAULT_PATH REQUIRED)

# OpenGL through GLVND: libOpenGL for the GL calls (any context, GLX or EGL),
# EGL for the off-screen test contexts.
set(OpenGL_GL_PREFERENCE GLVND)
find_package(OpenGL REQUIRED COMPONENTS OpenGL EGL)

# GLFW (libglfw3-dev): the window, its OpenGL 3.2 core context and input.
find_package(glfw3 3.3 REQUIRED)

# NanoVG with fontstash and its OpenGL 3 back end (dpf-source), compiled as
# C++ where the package puts it. Its copies of stb_image and stb_truetype are
# private to this target (stb_image's names are prefixed by nanovg.c itself).
find_path(SW_NANOVG_DIR nanovg.h PATHS /usr/share/dpf/dgl/src/nanovg NO_DEFAULT_PATH REQUIRED)
set_source_files_properties(${SW_NANOVG_DIR}/nanovg.c PROPERTIES LANGUAGE CXX)
add_library(sw_nanovg STATIC ${SW_NANOVG_DIR}/nanovg.c ${CMAKE_SOURCE_DIR}/cmake/nanovg_gl3_impl.cpp)
target_include_directories(sw_nanovg SYSTEM PUBLIC ${SW_NANOVG_DIR})
target_compile_options(sw_nanovg PRIVATE -w)
target_link_libraries(sw_nanovg PUBLIC OpenGL::OpenGL m)
if(SPOTWEAVE_ASAN)
    target_compile_options(sw_nanovg PRIVATE -fno-sanitize=undefined)
endif()
