// Handles: blocks of host memory behind an opaque record, with nested locks.

#include <cstdlib>
#include <cstring>
#include <unordered_set>

#include "host/host_internal.h"

struct PIHandleRecord {
    int32 size;
    int32 locks;
    char* data;
};

static std::unordered_set<PIHandleRecord*> host__handles;
static int host__handle_fail_after = -1;

static bool host__handle_live(Handle handle) {
    return handle && host__handles.count(handle) != 0;
}

static Handle host__handle_new(int32 size) {
    if (size < 0)
        return nullptr;
    if (host__handle_fail_after == 0)
        return nullptr;
    if (host__handle_fail_after > 0)
        host__handle_fail_after--;
    PIHandleRecord* handle = static_cast<PIHandleRecord*>(std::calloc(1, sizeof(PIHandleRecord)));
    // One spare byte: an empty block still has an address to lock.
    char* data = static_cast<char*>(std::calloc(size_t(size) + 1, 1));
    if (!handle || !data) {
        std::free(handle);
        std::free(data);
        return nullptr;
    }
    handle->size = size;
    handle->data = data;
    host__handles.insert(handle);
    return handle;
}

static void host__handle_dispose(Handle handle) {
    if (!handle)
        return;
    if (!host__handle_live(handle)) {
        host__warn("the plug-in disposed of a handle this host does not know; ignored");
        return;
    }
    host__handles.erase(handle);
    std::free(handle->data);
    std::free(handle);
}

static int32 host__handle_size(Handle handle) {
    return host__handle_live(handle) ? handle->size : 0;
}

static Ptr host__handle_lock(Handle handle, Boolean moveHigh) {
    (void)moveHigh;
    if (!host__handle_live(handle))
        return nullptr;
    handle->locks++;
    return handle->data;
}

static void host__handle_unlock(Handle handle) {
    // Unlocking a handle that is not locked is harmless, as with any host.
    if (host__handle_live(handle) && handle->locks > 0)
        handle->locks--;
}

HandleProcs* host_handle_procs() {
    static HandleProcs procs = {1,
                                5,
                                host__handle_new,
                                host__handle_dispose,
                                host__handle_size,
                                host__handle_lock,
                                host__handle_unlock};
    return &procs;
}

Handle host_handle_from_bytes(const void* bytes, size_t size) {
    if (size > size_t(INT32_MAX))
        return nullptr;
    int saved = host__handle_fail_after;
    host__handle_fail_after = -1;
    Handle handle = host__handle_new(int32(size));
    host__handle_fail_after = saved;
    if (handle && size > 0)
        std::memcpy(handle->data, bytes, size);
    return handle;
}

bool host_handle_bytes(Handle handle, std::string* out) {
    if (!host__handle_live(handle))
        return false;
    out->assign(handle->data, size_t(handle->size));
    return true;
}

bool host_handle_is_live(Handle handle) {
    return host__handle_live(handle);
}

size_t host_handle_count() {
    return host__handles.size();
}

int32_t host_handle_locks(Handle handle) {
    return host__handle_live(handle) ? handle->locks : 0;
}

void host_handle_fail_after(int count) {
    host__handle_fail_after = count < 0 ? -1 : count;
}
