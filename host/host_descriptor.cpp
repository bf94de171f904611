// Descriptors: their text form (the recorded action, the registry file, the
// contents of descriptor handles) and the read and write procedures.

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app_log.h"
#include "host/host_internal.h"

void host__warn(const char* format, ...) {
    char message[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    // Descriptor and registry text in the message must not drive the terminal.
    char shown[4 * sizeof message];
    app_log_escape(message, shown, sizeof shown);
    std::fprintf(stderr, "spotweave-host: %s\n", shown);
}

// ---- entries ------------------------------------------------------------------------

const host_desc_entry_s* host_desc_find(const host_desc_s* desc, DescriptorKeyID key) {
    for (const host_desc_entry_s& entry : desc->entries)
        if (entry.key == key)
            return &entry;
    return nullptr;
}

void host_desc_put(host_desc_s* desc, const host_desc_entry_s& entry) {
    for (host_desc_entry_s& existing : desc->entries) {
        if (existing.key == entry.key) {
            existing = entry;
            return;
        }
    }
    desc->entries.push_back(entry);
}

// ---- text form ------------------------------------------------------------------------

static bool host__code_printable(uint32_t code) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        unsigned c = (code >> shift) & 0xFF;
        if (c < 0x21 || c > 0x7E)
            return false;
    }
    return true;
}

std::string host_code_format(uint32_t code) {
    char text[16];
    if (host__code_printable(code))
        std::snprintf(text, sizeof text, "%c%c%c%c", char(code >> 24), char(code >> 16),
                      char(code >> 8), char(code));
    else
        std::snprintf(text, sizeof text, "0x%08X", unsigned(code));
    return text;
}

static bool host__code_parse(const std::string& token, uint32_t* code) {
    if (token.size() == 10 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
        uint32_t value = 0;
        auto [end, ec] = std::from_chars(token.data() + 2, token.data() + 10, value, 16);
        if (ec != std::errc() || end != token.data() + 10)
            return false;
        *code = value;
        return true;
    }
    if (token.size() != 4)
        return false;
    uint32_t value = 0;
    for (char c : token) {
        if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7E)
            return false;
        value = value << 8 | static_cast<unsigned char>(c);
    }
    *code = value;
    return true;
}

static bool host__number_parse(const std::string& token, double* value) {
    if (token.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(token.c_str(), &end);
    // The whole token: a NUL inside it ends the C string, not the number.
    if (end != token.c_str() + token.size() || errno == ERANGE || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

static std::string host__number_format(double value) {
    // The shortest text that reads back as the same double.
    char text[64];
    auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    return ec == std::errc() ? std::string(text, end) : std::string("0");
}

static std::vector<std::string> host__tokens(const std::string& line) {
    std::vector<std::string> tokens;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            i++;
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
            i++;
        if (i > start)
            tokens.push_back(line.substr(start, i - start));
    }
    return tokens;
}

bool host__desc_parse_line(const std::string& line, host_desc_entry_s* entry, bool* blank,
                           std::string* error) {
    *blank = false;
    if (line.find('\0') != std::string::npos) {
        *error = "not text";
        return false;
    }
    std::vector<std::string> tokens = host__tokens(line);
    // "#" alone opens a comment; "#Prc" is a code.
    *blank = tokens.empty() || tokens[0] == "#";
    if (*blank)
        return true;
    host_desc_entry_s e;
    if (!host__code_parse(tokens[0], &e.key)) {
        *error = "bad key '" + tokens[0] + "' (four characters or 0x and eight hex digits)";
        return false;
    }
    if (tokens.size() < 2) {
        *error = "no type after the key";
        return false;
    }
    const std::string& type = tokens[1];
    size_t want = 0;
    if (type == "UntF" || type == "enum")
        want = 4;
    else if (type == "bool" || type == "long" || type == "doub")
        want = 3;
    if (want == 0) {
        *error = "unknown type '" + type + "' (UntF, enum, bool, long or doub)";
        return false;
    }
    if (tokens.size() != want) {
        *error = "'" + type + "' takes " + std::to_string(want - 2) + " value" +
                 (want == 4 ? "s" : "") + ", found " + std::to_string(tokens.size() - 2);
        return false;
    }
    if (type == "UntF") {
        e.type = typeUnitFloat;
        if (!host__code_parse(tokens[2], &e.code)) {
            *error = "bad unit '" + tokens[2] + "'";
            return false;
        }
        if (!host__number_parse(tokens[3], &e.number)) {
            *error = "bad number '" + tokens[3] + "'";
            return false;
        }
    } else if (type == "enum") {
        e.type = typeEnumerated;
        if (!host__code_parse(tokens[2], &e.code) || !host__code_parse(tokens[3], &e.enumerated)) {
            *error = "bad enumeration '" + tokens[2] + " " + tokens[3] + "'";
            return false;
        }
    } else if (type == "bool") {
        e.type = typeBoolean;
        if (tokens[2] != "true" && tokens[2] != "false") {
            *error = "bad boolean '" + tokens[2] + "' (true or false)";
            return false;
        }
        e.number = tokens[2] == "true" ? 1.0 : 0.0;
    } else if (type == "long") {
        e.type = typeInteger;
        int32_t value = 0;
        const std::string& t = tokens[2];
        auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
        if (ec != std::errc() || end != t.data() + t.size()) {
            *error = "bad integer '" + t + "'";
            return false;
        }
        e.number = value;
    } else {
        e.type = typeFloat;
        if (!host__number_parse(tokens[2], &e.number)) {
            *error = "bad number '" + tokens[2] + "'";
            return false;
        }
    }
    *entry = e;
    return true;
}

bool host__next_line(const std::string& text, size_t* start, std::string* line) {
    if (*start >= text.size())
        return false;
    size_t end = text.find('\n', *start);
    if (end == std::string::npos)
        end = text.size();
    *line = text.substr(*start, end - *start);
    if (!line->empty() && line->back() == '\r')
        line->pop_back();
    *start = end + 1;
    return true;
}

bool host__desc_add_line(host_desc_s* desc, const std::string& line, std::string* error) {
    host_desc_entry_s entry;
    bool blank = false;
    if (!host__desc_parse_line(line, &entry, &blank, error))
        return false;
    if (blank)
        return true;
    if (host_desc_find(desc, entry.key)) {
        *error = "key '" + host_code_format(entry.key) + "' appears twice";
        return false;
    }
    desc->entries.push_back(entry);
    return true;
}

bool host_desc_parse(const std::string& text, host_desc_s* desc, std::string* error) {
    host_desc_s result;
    size_t start = 0;
    int number = 0;
    std::string line;
    std::string why;
    while (host__next_line(text, &start, &line)) {
        number++;
        if (!host__desc_add_line(&result, line, &why)) {
            *error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
    }
    *desc = std::move(result);
    return true;
}

std::string host_desc_format(const host_desc_s* desc) {
    std::string text;
    for (const host_desc_entry_s& e : desc->entries) {
        text += host_code_format(e.key);
        switch (e.type) {
        case typeUnitFloat:
            text += " UntF " + host_code_format(e.code) + " " + host__number_format(e.number);
            break;
        case typeEnumerated:
            text += " enum " + host_code_format(e.code) + " " + host_code_format(e.enumerated);
            break;
        case typeBoolean:
            text += e.number != 0.0 ? " bool true" : " bool false";
            break;
        case typeInteger:
            text += " long " + std::to_string(int32_t(e.number));
            break;
        default:
            text += " doub " + host__number_format(e.number);
            break;
        }
        text += '\n';
    }
    return text;
}

// ---- read procedures ---------------------------------------------------------------------
// A read token walks the entries; a read of the wrong type (or with no current
// entry) fails, and the token remembers the first failure for its close.

struct PIOpaqueReadDescriptor {
    host_desc_s desc;
    size_t next = 0;
    const host_desc_entry_s* current = nullptr;
    OSErr error = piNoErr;
};

static PIReadDescriptor host__open_read(PIDescriptorHandle descriptor,
                                        const DescriptorKeyID* keys) {
    (void)keys; // every entry is handed out, expected or not
    std::string text;
    if (!host_handle_bytes(descriptor, &text)) {
        host__warn("the plug-in opened a descriptor that is not a handle of this host");
        return nullptr;
    }
    PIReadDescriptor token = new PIOpaqueReadDescriptor;
    std::string error;
    if (!host_desc_parse(text, &token->desc, &error)) {
        host__warn("cannot read the descriptor: %s", error.c_str());
        delete token;
        return nullptr;
    }
    return token;
}

static OSErr host__close_read(PIReadDescriptor token) {
    if (!token)
        return piErrMissingParameter;
    OSErr error = token->error;
    delete token;
    return error;
}

static Boolean host__get_key(PIReadDescriptor token, DescriptorKeyID* key, DescType* type,
                             int32* flags) {
    if (!token || token->next >= token->desc.entries.size()) {
        if (token)
            token->current = nullptr;
        return false;
    }
    token->current = &token->desc.entries[token->next++];
    if (key)
        *key = token->current->key;
    if (type)
        *type = token->current->type;
    if (flags)
        *flags = 0;
    return true;
}

// Returns the current entry when it has type, else records and reports the error.
static const host_desc_entry_s* host__read_entry(PIReadDescriptor token, DescType type,
                                                 OSErr* error) {
    if (!token) {
        *error = piErrMissingParameter;
        return nullptr;
    }
    OSErr err = piNoErr;
    if (!token->current) {
        err = piErrMissingParameter;
    } else if (token->current->type != type) {
        host__warn("descriptor key '%s' holds %s, read as %s",
                   host_code_format(token->current->key).c_str(),
                   host_code_format(token->current->type).c_str(), host_code_format(type).c_str());
        err = piErrWrongType;
    }
    if (err != piNoErr && token->error == piNoErr)
        token->error = err;
    *error = err;
    return err == piNoErr ? token->current : nullptr;
}

static OSErr host__get_unit_float(PIReadDescriptor token, DescriptorUnitID* unit, double* value) {
    OSErr err;
    const host_desc_entry_s* e = host__read_entry(token, typeUnitFloat, &err);
    if (e) {
        if (unit)
            *unit = e->code;
        if (value)
            *value = e->number;
    }
    return err;
}

static OSErr host__get_boolean(PIReadDescriptor token, Boolean* value) {
    OSErr err;
    const host_desc_entry_s* e = host__read_entry(token, typeBoolean, &err);
    if (e && value)
        *value = e->number != 0.0;
    return err;
}

static OSErr host__get_enumerated(PIReadDescriptor token, DescriptorEnumID* value) {
    OSErr err;
    const host_desc_entry_s* e = host__read_entry(token, typeEnumerated, &err);
    if (e && value)
        *value = e->enumerated;
    return err;
}

static OSErr host__get_integer(PIReadDescriptor token, int32* value) {
    OSErr err;
    const host_desc_entry_s* e = host__read_entry(token, typeInteger, &err);
    if (e && value)
        *value = int32(e->number);
    return err;
}

static OSErr host__get_float(PIReadDescriptor token, double* value) {
    OSErr err;
    const host_desc_entry_s* e = host__read_entry(token, typeFloat, &err);
    if (e && value)
        *value = e->number;
    return err;
}

ReadDescriptorProcs* host__read_procs() {
    static ReadDescriptorProcs procs = {1,
                                        8,
                                        host__open_read,
                                        host__close_read,
                                        host__get_key,
                                        host__get_unit_float,
                                        host__get_boolean,
                                        host__get_enumerated,
                                        host__get_integer,
                                        host__get_float};
    return &procs;
}

// ---- write procedures ----------------------------------------------------------------------

struct PIOpaqueWriteDescriptor {
    host_desc_s desc;
};

static PIWriteDescriptor host__open_write() {
    return new PIOpaqueWriteDescriptor;
}

static OSErr host__close_write(PIWriteDescriptor token, PIDescriptorHandle* descriptor) {
    if (!token)
        return piErrMissingParameter;
    std::string text = host_desc_format(&token->desc);
    delete token;
    Handle handle = host_handle_from_bytes(text.data(), text.size());
    if (descriptor)
        *descriptor = handle;
    else
        host_handle_procs()->disposeProc(handle);
    return handle ? piNoErr : piErrMemory;
}

static OSErr host__put(PIWriteDescriptor token, const host_desc_entry_s& entry) {
    if (!token)
        return piErrMissingParameter;
    host_desc_put(&token->desc, entry);
    return piNoErr;
}

static OSErr host__put_unit_float(PIWriteDescriptor token, DescriptorKeyID key,
                                  DescriptorUnitID unit, const double* value) {
    if (!value || !std::isfinite(*value))
        return piErrMissingParameter;
    return host__put(token, {.key = key, .type = typeUnitFloat, .code = unit, .number = *value});
}

static OSErr host__put_boolean(PIWriteDescriptor token, DescriptorKeyID key, Boolean value) {
    return host__put(token, {.key = key, .type = typeBoolean, .number = value ? 1.0 : 0.0});
}

static OSErr host__put_enumerated(PIWriteDescriptor token, DescriptorKeyID key,
                                  DescriptorEnumTypeID type, DescriptorEnumID value) {
    return host__put(token,
                     {.key = key, .type = typeEnumerated, .code = type, .enumerated = value});
}

static OSErr host__put_integer(PIWriteDescriptor token, DescriptorKeyID key, int32 value) {
    return host__put(token, {.key = key, .type = typeInteger, .number = double(value)});
}

static OSErr host__put_float(PIWriteDescriptor token, DescriptorKeyID key, const double* value) {
    if (!value || !std::isfinite(*value))
        return piErrMissingParameter;
    return host__put(token, {.key = key, .type = typeFloat, .number = *value});
}

WriteDescriptorProcs* host__write_procs() {
    static WriteDescriptorProcs procs = {1,
                                         7,
                                         host__open_write,
                                         host__close_write,
                                         host__put_unit_float,
                                         host__put_boolean,
                                         host__put_enumerated,
                                         host__put_integer,
                                         host__put_float};
    return &procs;
}
