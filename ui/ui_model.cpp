// The dynamic model: named, typed values that come into being on first use,
// and observers called on every set. Both lists are searched linearly from
// the newest entry; a model holds a handful of keys.

#include "ui/ui_model.h"

#include <cmath>
#include <cstring>

#include "app/app_log.h"
#include "ui/ui_internal.h"

namespace {

enum : uint32_t {
    UI_VALUE_BOOL = 0,
    UI_VALUE_FLOAT = 1,
    UI_VALUE_INT = 2,
    UI_VALUE_UNSET = 3,
    UI_VALUE_PTR = 4,
};

struct ui_model_value_s {
    ui_model_value_s* next;
    char key[16];
    uint32_t type;
    unsigned char slot[8]; // a setter writes only the bytes of its own type
};

struct ui_model_observer_s {
    ui_model_observer_s* next;
    char key[16];
    ui_model_observer_cb callback;
    void* user;
};

// Keys longer than UI_MODEL_KEY_MAX are refused rather than cut, so that two
// long keys never alias one entry and every stored key keeps its terminator.
bool uidm__key_ok(const char* key) {
    if (key && strnlen(key, 16) <= UI_MODEL_KEY_MAX)
        return true;
    app_log("ui model: key \"%.32s\" is %s; ignored\n", key ? key : "(null)",
            key ? "longer than 15 characters" : "null");
    return false;
}

} // namespace

class UiDynamicModel {
public:
    ~UiDynamicModel() {
        for (ui_model_observer_s* o = observers; o;) {
            ui_model_observer_s* next = o->next;
            delete o;
            o = next;
        }
        for (ui_model_value_s* v = values; v;) {
            ui_model_value_s* next = v->next;
            delete v;
            v = next;
        }
    }

    // Returns the entry under key, created unset at the head when missing.
    ui_model_value_s* lookup(const char* key) {
        for (ui_model_value_s* v = values; v; v = v->next)
            if (std::strncmp(v->key, key, 16) == 0)
                return v;
        auto* v = new ui_model_value_s{};
        ui__copy_text(v->key, key, sizeof v->key);
        v->type = UI_VALUE_UNSET;
        v->next = values;
        values = v;
        return v;
    }

    void setBool(const char* key, bool value) {
        ui_model_value_s* v = lookup(key);
        v->type = UI_VALUE_BOOL;
        v->slot[0] = value ? 1 : 0;
        notify(key);
    }

    void setFloat(const char* key, float value) {
        ui_model_value_s* v = lookup(key);
        v->type = UI_VALUE_FLOAT;
        std::memcpy(v->slot, &value, sizeof value);
        notify(key);
    }

    void setPtr(const char* key, void* value) {
        ui_model_value_s* v = lookup(key);
        v->type = UI_VALUE_PTR;
        std::memcpy(v->slot, &value, sizeof value);
        notify(key);
    }

    void observe(const char* key, ui_model_observer_cb callback, void* user) {
        auto* o = new ui_model_observer_s{};
        ui__copy_text(o->key, key, sizeof o->key);
        o->callback = callback;
        o->user = user;
        o->next = observers;
        observers = o;
    }

    ui_model_observer_s* observers = nullptr;
    ui_model_value_s* values = nullptr;

private:
    // Runs every matching observer, newest first, with its own copy of the key.
    void notify(const char* key) {
        for (ui_model_observer_s* o = observers; o; o = o->next)
            if (std::strncmp(o->key, key, 16) == 0)
                o->callback(o->user, o->key);
    }
};

// ---- the interface's operations ---------------------------------------------------------

namespace {

UiDynamicModel* uidm__store(ui_model_s* model) {
    return static_cast<UiDynamicModel*>(model->impl);
}

float uidm__slot_float(const ui_model_value_s* v) {
    float f;
    std::memcpy(&f, v->slot, sizeof f);
    return f;
}

int32_t uidm__slot_int(const ui_model_value_s* v) {
    int32_t i;
    std::memcpy(&i, v->slot, sizeof i);
    return i;
}

void* uidm__slot_ptr(const ui_model_value_s* v) {
    void* p;
    std::memcpy(&p, v->slot, sizeof p);
    return p;
}

bool uidm__get_bool(ui_model_s* model, const char* key) {
    if (!uidm__key_ok(key))
        return false;
    const ui_model_value_s* v = uidm__store(model)->lookup(key);
    switch (v->type) {
    case UI_VALUE_BOOL:
        return v->slot[0] != 0;
    case UI_VALUE_FLOAT:
        return uidm__slot_float(v) != 0.0f && !std::isnan(uidm__slot_float(v));
    case UI_VALUE_INT:
        return uidm__slot_int(v) != 0;
    default:
        return false;
    }
}

float uidm__get_float(ui_model_s* model, const char* key) {
    if (!uidm__key_ok(key))
        return 0.0f;
    const ui_model_value_s* v = uidm__store(model)->lookup(key);
    switch (v->type) {
    case UI_VALUE_BOOL:
        return float(static_cast<signed char>(v->slot[0]));
    case UI_VALUE_FLOAT:
        return uidm__slot_float(v);
    case UI_VALUE_INT:
        return float(uidm__slot_int(v));
    default:
        return 0.0f;
    }
}

void* uidm__get_ptr(ui_model_s* model, const char* key) {
    if (!uidm__key_ok(key))
        return nullptr;
    return uidm__slot_ptr(uidm__store(model)->lookup(key));
}

void uidm__set_bool(ui_model_s* model, const char* key, bool value) {
    if (uidm__key_ok(key))
        uidm__store(model)->setBool(key, value);
}

void uidm__set_float(ui_model_s* model, const char* key, float value) {
    if (uidm__key_ok(key))
        uidm__store(model)->setFloat(key, value);
}

void uidm__set_ptr(ui_model_s* model, const char* key, void* value) {
    if (uidm__key_ok(key))
        uidm__store(model)->setPtr(key, value);
}

void uidm__observe(ui_model_s* model, const char* key, ui_model_observer_cb callback, void* user) {
    if (uidm__key_ok(key))
        uidm__store(model)->observe(key, callback, user);
}

void uidm__release(ui_model_s* model) {
    delete uidm__store(model);
    delete model;
}

} // namespace

// ---- public functions --------------------------------------------------------------------

ui_model_s* ui_model_create() {
    auto* model = new ui_model_s{};
    model->impl = new UiDynamicModel;
    model->get_bool = uidm__get_bool;
    model->get_float = uidm__get_float;
    model->get_ptr = uidm__get_ptr;
    model->set_bool = uidm__set_bool;
    model->set_float = uidm__set_float;
    model->set_ptr = uidm__set_ptr;
    model->observe = uidm__observe;
    model->release = uidm__release;
    return model;
}

void ui_model_destroy(ui_model_s* model) {
    if (model)
        model->release(model);
}

bool ui_model_get_bool(ui_model_s* model, const char* key) {
    return model->get_bool(model, key);
}

float ui_model_get_float(ui_model_s* model, const char* key) {
    return model->get_float(model, key);
}

void* ui_model_get_ptr(ui_model_s* model, const char* key) {
    return model->get_ptr(model, key);
}

int32_t ui__to_int(float f) {
    // Values no int can hold saturate; not a number reads 0.
    if (std::isnan(f))
        return 0;
    if (f <= -2147483648.0f)
        return INT32_MIN;
    if (f >= 2147483648.0f)
        return INT32_MAX;
    return int32_t(f);
}

int32_t ui_model_get_int(ui_model_s* model, const char* key) {
    return ui__to_int(model->get_float(model, key));
}

void ui_model_set_bool(ui_model_s* model, const char* key, bool value) {
    model->set_bool(model, key, value);
}

void ui_model_set_float(ui_model_s* model, const char* key, float value) {
    model->set_float(model, key, value);
}

void ui_model_set_ptr(ui_model_s* model, const char* key, void* value) {
    model->set_ptr(model, key, value);
}

void ui_model_set_int(ui_model_s* model, const char* key, int32_t value) {
    model->set_float(model, key, float(value));
}

void ui_model_observe(ui_model_s* model, const char* key, ui_model_observer_cb callback,
                      void* user) {
    model->observe(model, key, callback, user);
}

// ---- through a control's binding ---------------------------------------------------------

ui_model_s* ui__model_get(uic_s* control) {
    return control->ui->model;
}

float ui__model_get_float(uic_s* control) {
    return ui_model_get_float(ui__model_get(control), control->binding);
}

void* ui__model_get_ptr(uic_s* control) {
    return ui_model_get_ptr(ui__model_get(control), control->binding);
}

void ui__model_update_bool(uic_s* control, bool value) {
    ui_model_set_bool(ui__model_get(control), control->binding, value);
}

void ui__model_update_float(uic_s* control, float value) {
    ui_model_set_float(ui__model_get(control), control->binding, value);
}
