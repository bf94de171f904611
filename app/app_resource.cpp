#include "app/app_resource.h"

#include "app/app_assert.h"
#include "app/app_internal.h"

#include <lz4.h>

#include <climits>
#include <cstdlib>
#include <cstring>

void* app_resource_load(const char* name, unsigned* size) {
    SW_ASSERT(size, "app_resource_load needs a place for the size");
    *size = 0;
    if (!name)
        return nullptr;
    for (unsigned i = 0; i < app__resource_count; i++) {
        const app__resource_s& r = app__resources[i];
        if (std::strcmp(r.name, name) != 0)
            continue;
        if (r.size == 0 || r.size > INT_MAX || r.stored_size > INT_MAX)
            return nullptr;
        char* bytes = static_cast<char*>(std::malloc(r.size));
        if (!bytes)
            return nullptr;
        int n = LZ4_decompress_safe(reinterpret_cast<const char*>(r.data), bytes,
                                    int(r.stored_size), int(r.size));
        if (n != int(r.size)) {
            std::free(bytes);
            return nullptr;
        }
        *size = r.size;
        return bytes;
    }
    return nullptr;
}
