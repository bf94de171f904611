#include "app/app_keys.h"

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

namespace {

struct KeyPair {
    int glfw;
    unsigned code;
};

// GLFW key -> desktop virtual key number, before the three character remaps.
constexpr KeyPair kKeys[] = {
    {GLFW_KEY_A, 0},
    {GLFW_KEY_S, 1},
    {GLFW_KEY_D, 2},
    {GLFW_KEY_F, 3},
    {GLFW_KEY_H, 4},
    {GLFW_KEY_G, 5},
    {GLFW_KEY_Z, 6},
    {GLFW_KEY_X, 7},
    {GLFW_KEY_C, 8},
    {GLFW_KEY_V, 9},
    {GLFW_KEY_B, 11},
    {GLFW_KEY_Q, 12},
    {GLFW_KEY_W, 13},
    {GLFW_KEY_E, 14},
    {GLFW_KEY_R, 15},
    {GLFW_KEY_Y, 16},
    {GLFW_KEY_T, 17},
    {GLFW_KEY_1, 18},
    {GLFW_KEY_2, 19},
    {GLFW_KEY_3, 20},
    {GLFW_KEY_4, 21},
    {GLFW_KEY_6, 22},
    {GLFW_KEY_5, 23},
    {GLFW_KEY_EQUAL, 24},
    {GLFW_KEY_9, 25},
    {GLFW_KEY_7, 26},
    {GLFW_KEY_MINUS, 27},
    {GLFW_KEY_8, 28},
    {GLFW_KEY_0, 29},
    {GLFW_KEY_RIGHT_BRACKET, 30},
    {GLFW_KEY_O, 31},
    {GLFW_KEY_U, 32},
    {GLFW_KEY_LEFT_BRACKET, 33},
    {GLFW_KEY_I, 34},
    {GLFW_KEY_P, 35},
    {GLFW_KEY_ENTER, 36},
    {GLFW_KEY_L, 37},
    {GLFW_KEY_J, 38},
    {GLFW_KEY_APOSTROPHE, 39},
    {GLFW_KEY_K, 40},
    {GLFW_KEY_SEMICOLON, 41},
    {GLFW_KEY_BACKSLASH, 42},
    {GLFW_KEY_COMMA, 43},
    {GLFW_KEY_SLASH, 44},
    {GLFW_KEY_N, 45},
    {GLFW_KEY_M, 46},
    {GLFW_KEY_PERIOD, 47},
    {GLFW_KEY_TAB, 48},
    {GLFW_KEY_SPACE, 49},
    {GLFW_KEY_GRAVE_ACCENT, 50},
    {GLFW_KEY_BACKSPACE, 51},
    {GLFW_KEY_ESCAPE, 53},
    {GLFW_KEY_RIGHT_SUPER, 54},
    {GLFW_KEY_LEFT_SUPER, 55},
    {GLFW_KEY_LEFT_SHIFT, 56},
    {GLFW_KEY_CAPS_LOCK, 57},
    {GLFW_KEY_LEFT_ALT, 58},
    {GLFW_KEY_LEFT_CONTROL, 59},
    {GLFW_KEY_RIGHT_SHIFT, 60},
    {GLFW_KEY_RIGHT_ALT, 61},
    {GLFW_KEY_RIGHT_CONTROL, 62},
    {GLFW_KEY_F17, 64},
    {GLFW_KEY_KP_DECIMAL, 65},
    {GLFW_KEY_KP_MULTIPLY, 67},
    {GLFW_KEY_KP_ADD, 69},
    {GLFW_KEY_NUM_LOCK, 71},
    {GLFW_KEY_KP_DIVIDE, 75},
    {GLFW_KEY_KP_ENTER, 76},
    {GLFW_KEY_KP_SUBTRACT, 78},
    {GLFW_KEY_F18, 79},
    {GLFW_KEY_F19, 80},
    {GLFW_KEY_KP_EQUAL, 81},
    {GLFW_KEY_KP_0, 82},
    {GLFW_KEY_KP_1, 83},
    {GLFW_KEY_KP_2, 84},
    {GLFW_KEY_KP_3, 85},
    {GLFW_KEY_KP_4, 86},
    {GLFW_KEY_KP_5, 87},
    {GLFW_KEY_KP_6, 88},
    {GLFW_KEY_KP_7, 89},
    {GLFW_KEY_F20, 90},
    {GLFW_KEY_KP_8, 91},
    {GLFW_KEY_KP_9, 92},
    {GLFW_KEY_F5, 96},
    {GLFW_KEY_F6, 97},
    {GLFW_KEY_F7, 98},
    {GLFW_KEY_F3, 99},
    {GLFW_KEY_F8, 100},
    {GLFW_KEY_F9, 101},
    {GLFW_KEY_F11, 103},
    {GLFW_KEY_F13, 105},
    {GLFW_KEY_F16, 106},
    {GLFW_KEY_F14, 107},
    {GLFW_KEY_F10, 109},
    {GLFW_KEY_MENU, 110},
    {GLFW_KEY_F12, 111},
    {GLFW_KEY_F15, 113},
    {GLFW_KEY_INSERT, 114},
    {GLFW_KEY_HOME, 115},
    {GLFW_KEY_PAGE_UP, 116},
    {GLFW_KEY_DELETE, 117},
    {GLFW_KEY_F4, 118},
    {GLFW_KEY_END, 119},
    {GLFW_KEY_F2, 120},
    {GLFW_KEY_PAGE_DOWN, 121},
    {GLFW_KEY_F1, 122},
    {GLFW_KEY_LEFT, 123},
    {GLFW_KEY_RIGHT, 124},
    {GLFW_KEY_DOWN, 125},
    {GLFW_KEY_UP, 126},
};

} // namespace

bool app_key_code(int glfw_key, unsigned* code) {
    for (const KeyPair& k : kKeys) {
        if (k.glfw != glfw_key)
            continue;
        switch (k.code) {
        case 30:
            *code = ']';
            break;
        case 33:
            *code = '[';
            break;
        case 48:
            *code = '\t';
            break;
        default:
            *code = k.code;
            break;
        }
        return true;
    }
    return false;
}
