#pragma once
// File panels, alerts and the secret prompt, shown by a zenity process. They
// are modal: the call returns when the user answers. Without a display or
// without zenity they answer as if cancelled and say why on standard error,
// once per call. Thread: main.

// What a file panel asks for.
struct app_panel_s {
    const char* title;      // window title
    const char* extensions; // allowed types, space-separated without dots ("png jpg"); null: any
    const char* folder;     // folder to start in; null: the panel's default
    bool save;              // a save panel (may name a new file) rather than an open panel
};

// Shows the panel and writes the chosen path into dst (len bytes, cut at
// len - 1). False when cancelled or when no panel can be shown; dst untouched.
bool app_file_panel(const app_panel_s* panel, int len, char* dst);

// Save panel for one file type (extension without the dot).
bool app_get_save_path(const char* title, const char* extension, int len, char* dst);

// Open panel for one file type (extension without the dot).
bool app_get_open_path(const char* title, const char* extension, int len, char* dst);

// Open panel for "jpg", "jpeg" and "png" files.
bool app_get_open_image_path(const char* title, int len, char* dst);

// Save panel for "png" files.
bool app_get_save_image_path(const char* title, int len, char* dst);

// Image open panel that starts in the folder remembered under "load.dir" and,
// on OK, remembers the chosen file's folder there.
bool app_get_image_load_path_remembered(const char* title, int len, char* dst);

// Image save panel that starts in the folder remembered under "save.dir" and,
// on OK, remembers the chosen file's folder there.
bool app_get_image_save_path_remembered(const char* title, int len, char* dst);

// Shows a modal message with the title and an OK button.
void app_alert(const char* title, const char* message);

// Asks for a secret text (not echoed) with OK and Cancel; calls cb(user, text)
// on OK and cb(user, null) otherwise (also when no prompt can be shown).
void app_prompt(const char* title, const char* message, void (*cb)(void* user, const char* text),
                void* user);
