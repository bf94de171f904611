// The basic suite and the suites it serves: action descriptors, the persistent
// descriptor registry, host strings and the browser of the file-list suite.

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <unordered_set>

#include "app/app_file.h"
#include "host/host_internal.h"

extern char** environ;

// ---- action descriptors -----------------------------------------------------------------

struct PIActionDescriptorRecord {
    host_desc_s desc;
};

static std::unordered_set<PIActionDescriptorRecord*> host__descriptors;

host_desc_s* host_action_descriptor_get(PIActionDescriptor descriptor) {
    if (!descriptor || host__descriptors.count(descriptor) == 0)
        return nullptr;
    return &descriptor->desc;
}

static SPErr host__ad_make(PIActionDescriptor* descriptor) {
    if (!descriptor)
        return PI_SP_BAD_ARGUMENT;
    PIActionDescriptorRecord* record = new PIActionDescriptorRecord;
    host__descriptors.insert(record);
    *descriptor = record;
    return 0;
}

static SPErr host__ad_free(PIActionDescriptor descriptor) {
    if (!host_action_descriptor_get(descriptor))
        return PI_SP_BAD_ARGUMENT;
    host__descriptors.erase(descriptor);
    delete descriptor;
    return 0;
}

static SPErr host__ad_has_key(PIActionDescriptor descriptor, DescriptorKeyID key,
                              Boolean* has_key) {
    host_desc_s* desc = host_action_descriptor_get(descriptor);
    if (!desc || !has_key)
        return PI_SP_BAD_ARGUMENT;
    *has_key = host_desc_find(desc, key) != nullptr;
    return 0;
}

static SPErr host__ad_get_type(PIActionDescriptor descriptor, DescriptorKeyID key, DescType* type) {
    host_desc_s* desc = host_action_descriptor_get(descriptor);
    if (!desc || !type)
        return PI_SP_BAD_ARGUMENT;
    const host_desc_entry_s* e = host_desc_find(desc, key);
    if (!e)
        return PI_SP_NOT_FOUND;
    *type = e->type;
    return 0;
}

static SPErr host__ad_put(PIActionDescriptor descriptor, const host_desc_entry_s& entry) {
    host_desc_s* desc = host_action_descriptor_get(descriptor);
    if (!desc)
        return PI_SP_BAD_ARGUMENT;
    host_desc_put(desc, entry);
    return 0;
}

static SPErr host__ad_put_unit_float(PIActionDescriptor descriptor, DescriptorKeyID key,
                                     DescriptorUnitID unit, double value) {
    if (!std::isfinite(value))
        return PI_SP_BAD_ARGUMENT;
    return host__ad_put(descriptor,
                        {.key = key, .type = typeUnitFloat, .code = unit, .number = value});
}

static SPErr host__ad_put_enumerated(PIActionDescriptor descriptor, DescriptorKeyID key,
                                     DescriptorEnumTypeID type, DescriptorEnumID value) {
    return host__ad_put(descriptor,
                        {.key = key, .type = typeEnumerated, .code = type, .enumerated = value});
}

static SPErr host__ad_put_boolean(PIActionDescriptor descriptor, DescriptorKeyID key,
                                  Boolean value) {
    return host__ad_put(descriptor, {.key = key, .type = typeBoolean, .number = value ? 1.0 : 0.0});
}

// Finds key holding type; the error says what is wrong otherwise.
static const host_desc_entry_s* host__ad_entry(PIActionDescriptor descriptor, DescriptorKeyID key,
                                               DescType type, SPErr* error) {
    host_desc_s* desc = host_action_descriptor_get(descriptor);
    const host_desc_entry_s* e = desc ? host_desc_find(desc, key) : nullptr;
    *error = !desc             ? PI_SP_BAD_ARGUMENT
             : !e              ? PI_SP_NOT_FOUND
             : e->type != type ? PI_SP_WRONG_TYPE
                               : 0;
    return *error == 0 ? e : nullptr;
}

static SPErr host__ad_get_unit_float(PIActionDescriptor descriptor, DescriptorKeyID key,
                                     DescriptorUnitID* unit, double* value) {
    SPErr err;
    const host_desc_entry_s* e = host__ad_entry(descriptor, key, typeUnitFloat, &err);
    if (e) {
        if (unit)
            *unit = e->code;
        if (value)
            *value = e->number;
    }
    return err;
}

static SPErr host__ad_get_enumerated(PIActionDescriptor descriptor, DescriptorKeyID key,
                                     DescriptorEnumTypeID* type, DescriptorEnumID* value) {
    SPErr err;
    const host_desc_entry_s* e = host__ad_entry(descriptor, key, typeEnumerated, &err);
    if (e) {
        if (type)
            *type = e->code;
        if (value)
            *value = e->enumerated;
    }
    return err;
}

static SPErr host__ad_get_boolean(PIActionDescriptor descriptor, DescriptorKeyID key,
                                  Boolean* value) {
    SPErr err;
    const host_desc_entry_s* e = host__ad_entry(descriptor, key, typeBoolean, &err);
    if (e && value)
        *value = e->number != 0.0;
    return err;
}

static const PSActionDescriptorProcs host__action_descriptor_suite = {
    host__ad_make,           host__ad_free,           host__ad_has_key,     host__ad_get_type,
    host__ad_put_unit_float, host__ad_put_enumerated, host__ad_put_boolean, host__ad_get_unit_float,
    host__ad_get_enumerated, host__ad_get_boolean};

// ---- registry ----------------------------------------------------------------------------
// Persistent entries live in one text file, a "[key]" line before each entry's
// descriptor lines, read at every Get and rewritten whole (atomically) at every
// change; the others live in memory for the life of the process.

static std::map<std::string, host_desc_s> host__registry_memory;

bool host_registry_path(std::string* path) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    if (config && config[0] == '/') {
        folder = config;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home)
            return false;
        folder = std::string(home) + "/.config";
    }
    *path = folder + "/spotweave/registry";
    return true;
}

static bool host__registry_key_ok(const char* key) {
    if (!key || !*key || std::strlen(key) > 255)
        return false;
    for (const char* p = key; *p; p++)
        if (*p == '[' || *p == ']' || *p == '\n' || *p == '\r')
            return false;
    return true;
}

enum host_registry_read_t { HOST_REGISTRY_OK, HOST_REGISTRY_MISSING, HOST_REGISTRY_BROKEN };

// Reads the registry file into entries. A missing file is an empty registry; a
// broken one is reported with its line.
static host_registry_read_t host__registry_read(const std::string& path,
                                                std::map<std::string, host_desc_s>* entries) {
    FILE* f = std::fopen(path.c_str(), "rbe");
    if (!f) {
        if (errno == ENOENT)
            return HOST_REGISTRY_MISSING;
        host__warn("cannot read the registry %s: %s", path.c_str(), std::strerror(errno));
        return HOST_REGISTRY_BROKEN;
    }
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    bool failed = std::ferror(f);
    std::fclose(f);
    if (failed) {
        host__warn("cannot read the registry %s", path.c_str());
        return HOST_REGISTRY_BROKEN;
    }

    // Values follow the action files' rules (host__desc_add_line); each key
    // has one section.
    host_desc_s* values = nullptr;
    host_desc_s outside; // what comes before the first section: comments only
    size_t start = 0;
    int number = 0;
    std::string line, why;
    while (host__next_line(text, &start, &line)) {
        number++;
        if (!line.empty() && line[0] == '[') {
            const std::string section = line.size() >= 3 && line.back() == ']'
                                            ? line.substr(1, line.size() - 2)
                                            : std::string();
            if (section.empty() || !host__registry_key_ok(section.c_str()) ||
                section.size() != std::strlen(section.c_str())) {
                why = "bad section";
            } else if (entries->count(section)) {
                why = "section [" + section + "] appears twice";
            } else {
                values = &(*entries)[section];
                continue;
            }
        } else if (host__desc_add_line(values ? values : &outside, line, &why)) {
            if (outside.entries.empty())
                continue;
            why = "value outside a [key] section";
        }
        host__warn("the registry %s is damaged (line %d: %s)", path.c_str(), number, why.c_str());
        return HOST_REGISTRY_BROKEN;
    }
    return HOST_REGISTRY_OK;
}

// Creates the folders of path's parent (mode 0700 for new ones).
static bool host__make_parent(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return true;
    std::string folder = path.substr(0, slash);
    for (size_t i = 1; i <= folder.size(); i++) {
        if (i == folder.size() || folder[i] == '/') {
            std::string part = folder.substr(0, i);
            if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
                return false;
        }
    }
    return true;
}

static bool host__registry_write(const std::string& path,
                                 const std::map<std::string, host_desc_s>& entries) {
    std::string text = "# spotweave-host descriptor registry: a [key] line, then its values\n";
    for (const auto& [key, desc] : entries)
        text += "[" + key + "]\n" + host_desc_format(&desc);
    if (!host__make_parent(path) ||
        !app_file_write(path.c_str(), unsigned(text.size()), text.data())) {
        host__warn("cannot write the registry %s", path.c_str());
        return false;
    }
    return true;
}

static SPErr host__registry_register(const char* key, PIActionDescriptor descriptor,
                                     Boolean persistent) {
    host_desc_s* desc = host_action_descriptor_get(descriptor);
    if (!host__registry_key_ok(key) || !desc)
        return PI_SP_BAD_ARGUMENT;
    if (!persistent) {
        host__registry_memory[key] = *desc;
        return 0;
    }
    std::string path;
    if (!host_registry_path(&path)) {
        host__warn("cannot keep the registry: no home folder");
        return PI_SP_IO_ERROR;
    }
    std::map<std::string, host_desc_s> entries;
    if (host__registry_read(path, &entries) == HOST_REGISTRY_BROKEN) {
        host__warn("leaving the registry %s as it is", path.c_str());
        return PI_SP_IO_ERROR;
    }
    entries[key] = *desc;
    if (!host__registry_write(path, entries))
        return PI_SP_IO_ERROR;
    host__registry_memory.erase(key);
    return 0;
}

static SPErr host__registry_erase(const char* key) {
    if (!host__registry_key_ok(key))
        return PI_SP_BAD_ARGUMENT;
    host__registry_memory.erase(key);
    std::string path;
    if (!host_registry_path(&path))
        return 0;
    std::map<std::string, host_desc_s> entries;
    host_registry_read_t read = host__registry_read(path, &entries);
    if (read == HOST_REGISTRY_BROKEN)
        return PI_SP_IO_ERROR;
    if (entries.erase(key) == 0)
        return 0;
    return host__registry_write(path, entries) ? 0 : PI_SP_IO_ERROR;
}

static SPErr host__registry_get(const char* key, PIActionDescriptor* descriptor) {
    if (!descriptor)
        return PI_SP_BAD_ARGUMENT;
    *descriptor = nullptr;
    if (!host__registry_key_ok(key))
        return PI_SP_BAD_ARGUMENT;
    host_desc_s found;
    auto memory = host__registry_memory.find(key);
    if (memory != host__registry_memory.end()) {
        found = memory->second;
    } else {
        std::string path;
        if (!host_registry_path(&path))
            return 0;
        std::map<std::string, host_desc_s> entries;
        host_registry_read_t read = host__registry_read(path, &entries);
        if (read == HOST_REGISTRY_BROKEN)
            return PI_SP_IO_ERROR;
        auto entry = entries.find(key);
        if (entry == entries.end())
            return 0;
        found = entry->second;
    }
    SPErr err = host__ad_make(descriptor);
    if (err == 0)
        (*descriptor)->desc = found;
    return err;
}

static const PSDescriptorRegistryProcs host__registry_suite = {
    host__registry_register, host__registry_erase, host__registry_get};

// ---- strings --------------------------------------------------------------------------------

struct ASZByteRun {
    int refs;
    std::string utf8;
};

static std::unordered_set<ASZByteRun*> host__strings;

static bool host__string_live(ASZString s) {
    return s && host__strings.count(s) != 0;
}

static void host__utf8_append(std::string* out, uint32_t c) {
    if (c < 0x80) {
        *out += char(c);
    } else if (c < 0x800) {
        *out += char(0xC0 | (c >> 6));
        *out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out += char(0xE0 | (c >> 12));
        *out += char(0x80 | ((c >> 6) & 0x3F));
        *out += char(0x80 | (c & 0x3F));
    } else {
        *out += char(0xF0 | (c >> 18));
        *out += char(0x80 | ((c >> 12) & 0x3F));
        *out += char(0x80 | ((c >> 6) & 0x3F));
        *out += char(0x80 | (c & 0x3F));
    }
}

static SPErr host__string_make(const ASUnicode* units, size_t count, ASZString* string) {
    if (!string || (count > 0 && !units))
        return PI_SP_BAD_ARGUMENT;
    ASZByteRun* run = new ASZByteRun{1, {}};
    for (size_t i = 0; i < count; i++) {
        uint32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            i++;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD; // a lone surrogate
        }
        host__utf8_append(&run->utf8, c);
    }
    host__strings.insert(run);
    *string = run;
    return 0;
}

static uint32 host__string_length(ASZString string) {
    return host__string_live(string) ? uint32(string->utf8.size() + 1) : 0;
}

static SPErr host__string_copy(ASZString string, char* buffer, uint32 size) {
    if (!host__string_live(string) || !buffer)
        return PI_SP_BAD_ARGUMENT;
    if (size < string->utf8.size() + 1)
        return PI_SP_BAD_ARGUMENT;
    std::memcpy(buffer, string->utf8.c_str(), string->utf8.size() + 1);
    return 0;
}

static SPErr host__string_add_ref(ASZString string) {
    if (!host__string_live(string))
        return PI_SP_BAD_ARGUMENT;
    string->refs++;
    return 0;
}

static SPErr host__string_release(ASZString string) {
    if (!host__string_live(string))
        return PI_SP_BAD_ARGUMENT;
    if (--string->refs == 0) {
        host__strings.erase(string);
        delete string;
    }
    return 0;
}

static const ASZStringSuite2 host__string_suite = {host__string_make, host__string_length,
                                                   host__string_copy, host__string_add_ref,
                                                   host__string_release};

// ---- browser ------------------------------------------------------------------------------------

static SPErr host__browse_url(const char* url) {
    // The address goes to xdg-open as one argument; one that looks like an
    // option or carries control characters is refused.
    if (!url || !*url || url[0] == '-')
        return PI_SP_BAD_ARGUMENT;
    for (const char* p = url; *p; p++)
        if (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7F)
            return PI_SP_BAD_ARGUMENT;
    const char* argv[] = {"xdg-open", url, nullptr};
    pid_t pid = -1;
    int err = posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char**>(argv), environ);
    if (err != 0) {
        host__warn("cannot open %s: xdg-open: %s", url, std::strerror(err));
        return PI_SP_IO_ERROR;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        host__warn("cannot open %s: xdg-open failed", url);
        return PI_SP_IO_ERROR;
    }
    return 0;
}

static const PSGetFileListSuite4 host__file_list_suite = {host__browse_url};

// ---- basic suite
// ----------------------------------------------------------------------------------

struct host_suite_entry_s {
    const char* name;
    int32 version;
    const void* table;
    int acquired;
};

static host_suite_entry_s host__suites[] = {
    {kPSActionDescriptorSuite, kPSActionDescriptorSuiteVersion, &host__action_descriptor_suite, 0},
    {kPSDescriptorRegistrySuite, kPSDescriptorRegistrySuiteVersion, &host__registry_suite, 0},
    {kASZStringSuite, kASZStringSuiteVersion2, &host__string_suite, 0},
    {kPSGetFileListSuite, kPSGetFileListSuiteVersion4, &host__file_list_suite, 0},
};

static host_suite_entry_s* host__suite_find(const char* name, int32 version) {
    if (!name)
        return nullptr;
    for (host_suite_entry_s& entry : host__suites)
        if (entry.version == version && std::strcmp(entry.name, name) == 0)
            return &entry;
    return nullptr;
}

static SPErr host__acquire_suite(const char* name, int32 version, const void** suite) {
    if (!suite)
        return PI_SP_BAD_ARGUMENT;
    host_suite_entry_s* entry = host__suite_find(name, version);
    if (!entry) {
        *suite = nullptr;
        return PI_SP_SUITE_NOT_FOUND;
    }
    entry->acquired++;
    *suite = entry->table;
    return 0;
}

static SPErr host__release_suite(const char* name, int32 version) {
    host_suite_entry_s* entry = host__suite_find(name, version);
    if (!entry || entry->acquired == 0)
        return PI_SP_BAD_ARGUMENT;
    entry->acquired--;
    return 0;
}

SPBasicSuite* host_basic_suite() {
    static SPBasicSuite suite = {host__acquire_suite, host__release_suite};
    return &suite;
}

int host_suite_outstanding() {
    int count = 0;
    for (const host_suite_entry_s& entry : host__suites)
        count += entry.acquired;
    return count;
}
