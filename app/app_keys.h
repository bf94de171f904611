#pragma once
// The key codes the toolkit speaks: the classic desktop virtual key numbers
// (A 0, S 1, P 35, space 49, return 36, escape 53, arrows 123 to 126, ...),
// except that the square bracket keys and tab take their characters' codes
// ('[' 91, ']' 93, tab 9). The window translates its platform's keys here.

// Writes the toolkit's code for a GLFW key number into *code. False for keys
// the toolkit has no code for (*code untouched).
bool app_key_code(int glfw_key, unsigned* code);
