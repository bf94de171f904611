#pragma once
// The keyed value model that controls read and write: an interface of
// operation pointers over a store. ui_model_create makes the dynamic store,
// where values come into being on first use.
//
// Keys are NUL-terminated, case-sensitive and at most 15 characters; a longer
// key is refused (reads 0, writes nothing) with a message on standard error.
// Thread: as the tree; the model has no lock of its own.

#include <cstdint>

// Called after every set of a watched key, whether or not the value changed;
// key is the observer's own copy.
typedef void (*ui_model_observer_cb)(void* user, const char* key);

// The model interface. Every operation receives the record itself and reaches
// its store through impl.
struct ui_model_s {
    void* impl;
    bool (*get_bool)(ui_model_s* model, const char* key);
    float (*get_float)(ui_model_s* model, const char* key);
    void* (*get_ptr)(ui_model_s* model, const char* key);
    void (*set_bool)(ui_model_s* model, const char* key, bool value);
    void (*set_float)(ui_model_s* model, const char* key, float value);
    void (*set_ptr)(ui_model_s* model, const char* key, void* value);
    void (*observe)(ui_model_s* model, const char* key, ui_model_observer_cb callback, void* user);
    void (*release)(ui_model_s* model);
};

// Longest key the model stores.
enum : int { UI_MODEL_KEY_MAX = 15 };

// Returns a new, empty dynamic model. Owns: caller (ui_model_destroy).
ui_model_s* ui_model_create();

// Frees the model with its values and observers (not their user pointers, nor
// the pointers stored as values); null does nothing.
void ui_model_destroy(ui_model_s* model);

// Returns the value under key as a bool: a float or int is true when non-zero;
// a pointer, or a key never set, reads false. Reading creates a missing key.
bool ui_model_get_bool(ui_model_s* model, const char* key);

// Returns the value as a float: a bool reads 0 or 1; a pointer or unset key 0.
float ui_model_get_float(ui_model_s* model, const char* key);

// Returns the pointer stored under key; null for an unset key.
void* ui_model_get_ptr(ui_model_s* model, const char* key);

// Returns the float value truncated toward zero.
int32_t ui_model_get_int(ui_model_s* model, const char* key);

// Stores a bool and runs the key's observers.
void ui_model_set_bool(ui_model_s* model, const char* key, bool value);

// Stores a float and runs the key's observers.
void ui_model_set_float(ui_model_s* model, const char* key, float value);

// Stores a pointer (not owned) and runs the key's observers.
void ui_model_set_ptr(ui_model_s* model, const char* key, void* value);

// Stores the integer as a float and runs the key's observers.
void ui_model_set_int(ui_model_s* model, const char* key, int32_t value);

// Registers callback(user, key) to run, newest first, on every set of key.
// Observers live until the model is destroyed.
void ui_model_observe(ui_model_s* model, const char* key, ui_model_observer_cb callback,
                      void* user);
