// The document, the filter record and its procedures, the module, and the
// selector sequence of one run.

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <new>

#include "app/app_path.h"
#include "host/host_internal.h"

host_session_s* host__current = nullptr;

// Memory offered to the plug-in for its buffers.
static constexpr int32 HOST_MAX_SPACE = 256 << 20;
// Byte the host puts in dummy planes (times 257 at depth 16).
static constexpr int32 HOST_DUMMY_PLANE_VALUE = 255;
// Most dummy planes a request may add on either side.
static constexpr int16 HOST_MAX_DUMMY_PLANES = 16;
// Continue calls after which a plug-in that keeps asking is given up on.
static constexpr int HOST_MAX_CONTINUE = 1 << 20;

// ---- document ---------------------------------------------------------------------------

bool host_document_from_image(const gr_image_s* image, int16_t planes, int16_t depth,
                              host_document_s* doc) {
    if ((planes != 3 && planes != 4) || (depth != 8 && depth != 16))
        return false;
    doc->width = int32_t(gr_image_get_width(image));
    doc->height = int32_t(gr_image_get_height(image));
    doc->planes = planes;
    doc->depth = depth;
    const size_t count = size_t(doc->width) * size_t(doc->height);
    doc->samples.assign(count * size_t(planes), 0);
    const uint16_t scale = depth == 16 ? 257 : 1;
    for (size_t i = 0; i < count; i++) {
        const uint32_t c = image->pixels[i];
        uint16_t* s = &doc->samples[i * size_t(planes)];
        s[0] = uint16_t(((c >> 16) & 0xFF) * scale);
        s[1] = uint16_t(((c >> 8) & 0xFF) * scale);
        s[2] = uint16_t((c & 0xFF) * scale);
        if (planes == 4)
            s[3] = uint16_t((c >> 24) * scale);
    }
    return true;
}

gr_image_s* host_document_to_image(const host_document_s* doc) {
    gr_image_s* image = gr_image_create(doc->width, doc->height);
    if (!image)
        return nullptr;
    uint32_t* px = gr_image_pixels_lock(image);
    const size_t count = size_t(doc->width) * size_t(doc->height);
    auto eight = [doc](uint16_t v) -> uint32_t {
        return doc->depth == 16 ? (uint32_t(v) + 128) / 257 : uint32_t(v & 0xFF);
    };
    for (size_t i = 0; i < count; i++) {
        const uint16_t* s = &doc->samples[i * size_t(doc->planes)];
        const uint32_t a = doc->planes == 4 ? eight(s[3]) : 255;
        px[i] = a << 24 | eight(s[0]) << 16 | eight(s[1]) << 8 | eight(s[2]);
    }
    gr_image_pixels_unlock(image, true);
    return image;
}

// ---- rectangles ------------------------------------------------------------------------------

static bool host__rect_empty(const VRect& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

static VRect host__widen(const Rect& r) {
    return VRect{r.top, r.left, r.bottom, r.right};
}

static int16 host__clamp16(int32 v) {
    return int16(v < INT16_MIN ? INT16_MIN : (v > INT16_MAX ? INT16_MAX : v));
}

static Rect host__narrow(const VRect& r) {
    return Rect{host__clamp16(r.top), host__clamp16(r.left), host__clamp16(r.bottom),
                host__clamp16(r.right)};
}

static bool host__uses_32bit(const host_session_s* s) {
    return s->big.PluginUsing32BitCoordinates != 0;
}

static VRect host__in_rect(const host_session_s* s) {
    return host__uses_32bit(s) ? s->big.inRect32 : host__widen(s->record.inRect);
}

static VRect host__out_rect(const host_session_s* s) {
    return host__uses_32bit(s) ? s->big.outRect32 : host__widen(s->record.outRect);
}

static VRect host__mask_rect(const host_session_s* s) {
    return host__uses_32bit(s) ? s->big.maskRect32 : host__widen(s->record.maskRect);
}

static bool host__wants_data(const host_session_s* s) {
    return !host__rect_empty(host__in_rect(s)) || !host__rect_empty(host__out_rect(s)) ||
           (s->record.haveMask && !host__rect_empty(host__mask_rect(s)));
}

// ---- buffers -----------------------------------------------------------------------------------

// The planes of one request and the layout of its buffer.
struct host_request_s {
    VRect rect;
    int16 lo, hi, pre, post;
    int32 row_bytes;
    int32 pixel_samples;
};

static OSErr host__check_request(const host_session_s* s, const char* what, host_request_s* q) {
    const host_document_s* doc = s->document;
    const VRect& r = q->rect;
    if (r.left < 0 || r.top < 0 || r.right > doc->width || r.bottom > doc->height) {
        host__warn("the plug-in asked for %s rectangle (%d,%d)-(%d,%d) outside the %dx%d document",
                   what, r.left, r.top, r.right, r.bottom, doc->width, doc->height);
        return piErrBadParameter;
    }
    if (q->lo < 0 || q->hi >= doc->planes || q->lo > q->hi || q->pre < 0 ||
        q->pre > HOST_MAX_DUMMY_PLANES || q->post < 0 || q->post > HOST_MAX_DUMMY_PLANES) {
        host__warn("the plug-in asked for %s planes %d..%d with %d+%d dummy planes of a "
                   "%d-plane document",
                   what, q->lo, q->hi, q->pre, q->post, doc->planes);
        return piErrBadParameter;
    }
    q->pixel_samples = q->pre + (q->hi - q->lo + 1) + q->post;
    const int64_t row = int64_t(r.right - r.left) * q->pixel_samples * (doc->depth / 8);
    if (row > INT32_MAX)
        return piErrMemory;
    q->row_bytes = int32(row);
    return piNoErr;
}

// Fills buffer with the document's samples of the request, dummy planes set.
static OSErr host__fill(const host_session_s* s, const host_request_s& q,
                        std::vector<uint8_t>* buffer) {
    const host_document_s* doc = s->document;
    const int32 w = q.rect.right - q.rect.left, h = q.rect.bottom - q.rect.top;
    try {
        buffer->assign(size_t(q.row_bytes) * size_t(h), 0);
    } catch (const std::bad_alloc&) {
        buffer->clear();
        return piErrMemory;
    }
    const uint16_t dummy = uint16_t(doc->depth == 16 ? s->record.dummyPlaneValue * 257
                                                     : s->record.dummyPlaneValue & 0xFF);
    for (int32 y = 0; y < h; y++) {
        for (int32 x = 0; x < w; x++) {
            const uint16_t* src = &doc->samples[(size_t(q.rect.top + y) * size_t(doc->width) +
                                                 size_t(q.rect.left + x)) *
                                                size_t(doc->planes)];
            uint8_t* dst = buffer->data() + size_t(y) * size_t(q.row_bytes) +
                           size_t(x) * size_t(q.pixel_samples) * size_t(doc->depth / 8);
            for (int32 i = 0; i < q.pixel_samples; i++) {
                const int32 plane = q.lo + i - q.pre;
                const bool real = i >= q.pre && plane <= q.hi;
                const uint16_t v = real ? src[plane] : dummy;
                if (doc->depth == 16)
                    std::memcpy(dst + 2 * i, &v, 2);
                else
                    dst[i] = uint8_t(v);
            }
        }
    }
    return piNoErr;
}

// Writes the planes of the pending output back into the document.
static void host__commit(host_session_s* s) {
    if (!s->out_pending)
        return;
    s->out_pending = false;
    host_document_s* doc = s->document;
    const VRect& r = s->out_rect;
    const int32 samples = s->out_pre + (s->out_hi - s->out_lo + 1) + s->out_post;
    const size_t bps = size_t(doc->depth / 8);
    const size_t row_bytes = size_t(r.right - r.left) * size_t(samples) * bps;
    for (int32 y = r.top; y < r.bottom; y++) {
        for (int32 x = r.left; x < r.right; x++) {
            const uint8_t* src = s->out_buffer.data() + size_t(y - r.top) * row_bytes +
                                 size_t(x - r.left) * size_t(samples) * bps;
            uint16_t* dst =
                &doc->samples[(size_t(y) * size_t(doc->width) + size_t(x)) * size_t(doc->planes)];
            for (int32 plane = s->out_lo; plane <= s->out_hi; plane++) {
                const uint8_t* p = src + size_t(s->out_pre + plane - s->out_lo) * bps;
                if (doc->depth == 16)
                    std::memcpy(&dst[plane], p, 2);
                else
                    dst[plane] = *p;
            }
        }
    }
}

// Serves the rectangles and planes now in the record (after committing the
// previous output).
static OSErr host__advance(host_session_s* s) {
    host__commit(s);
    s->advance_calls++;
    FilterRecord& rec = s->record;
    rec.inData = nullptr;
    rec.inRowBytes = 0;
    rec.outData = nullptr;
    rec.outRowBytes = 0;
    rec.maskData = nullptr;
    rec.maskRowBytes = 0;
    if (s->advance_error != 0)
        return s->advance_error;

    host_request_s in = {host__in_rect(s),
                         rec.inLoPlane,
                         rec.inHiPlane,
                         rec.inPreDummyPlanes,
                         rec.inPostDummyPlanes,
                         0,
                         0};
    host_request_s out = {host__out_rect(s),
                          rec.outLoPlane,
                          rec.outHiPlane,
                          rec.outPreDummyPlanes,
                          rec.outPostDummyPlanes,
                          0,
                          0};
    OSErr err = piNoErr;
    if (!host__rect_empty(in.rect)) {
        if (rec.inputRate != 0x00010000) {
            host__warn("the plug-in asked for input sampled at rate %#x; this host serves 1.0",
                       unsigned(rec.inputRate));
            return piErrBadParameter;
        }
        if ((err = host__check_request(s, "input", &in)) != piNoErr ||
            (err = host__fill(s, in, &s->in_buffer)) != piNoErr)
            return err;
        rec.inData = s->in_buffer.data();
        rec.inRowBytes = in.row_bytes;
    }
    if (!host__rect_empty(out.rect)) {
        if ((err = host__check_request(s, "output", &out)) != piNoErr ||
            (err = host__fill(s, out, &s->out_buffer)) != piNoErr)
            return err;
        rec.outData = s->out_buffer.data();
        rec.outRowBytes = out.row_bytes;
        s->out_pending = true;
        s->out_rect = out.rect;
        s->out_lo = out.lo;
        s->out_hi = out.hi;
        s->out_pre = out.pre;
        s->out_post = out.post;
    }
    // The document has no selection mask: maskData stays null.
    return piNoErr;
}

static OSErr host__advance_state() {
    if (!host__current) {
        host__warn("the plug-in called advanceState outside a call");
        return piErrBadParameter;
    }
    return host__advance(host__current);
}

static void host__progress(int32 done, int32 total) {
    host_session_s* s = host__current;
    if (!s)
        return;
    s->progress_calls++;
    s->progress_done = done;
    s->progress_total = total;
    if (!s->progress_bar || total <= 0)
        return;
    const int64_t clamped = done < 0 ? 0 : (done > total ? total : done);
    const int percent = int(clamped * 100 / total);
    const int width = 30, filled = int(clamped * width / total);
    char bar[width + 1];
    for (int i = 0; i < width; i++)
        bar[i] = i < filled ? '#' : '.';
    bar[width] = '\0';
    // A finished bar ends its line, so later messages start their own.
    s->progress_open = clamped < total;
    std::fprintf(stderr, "\rspotweave-host [%s] %3d%%%s", bar, percent,
                 s->progress_open ? "" : "\n");
    std::fflush(stderr);
}

static Boolean host__abort() {
    return false;
}

// ---- module ----------------------------------------------------------------------------------

bool host_module_open(const char* path, host_module_s* module, std::string* error) {
    struct stat st;
    if (stat(path, &st) != 0) {
        *error = std::string("cannot open plug-in '") + path + "': " + std::strerror(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        *error = std::string("cannot open plug-in '") + path + "': it is a folder";
        return false;
    }
    // A name without a slash would be looked up in the library path instead.
    std::string local = std::strchr(path, '/') ? path : std::string("./") + path;
    void* library = dlopen(local.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        *error = std::string("cannot load plug-in '") + path + "': " + (why ? why : "unknown");
        return false;
    }
    void* entry = dlsym(library, PI_ENTRY_NAME);
    if (!entry) {
        dlclose(library);
        *error =
            std::string("'") + path + "' is not a filter plug-in: it exports no " + PI_ENTRY_NAME;
        return false;
    }
    module->library = library;
    module->entry = reinterpret_cast<PluginMainProc>(entry);
    module->path = path;
    return true;
}

void host_module_close(host_module_s* module) {
    if (module->library)
        dlclose(module->library);
    module->library = nullptr;
    module->entry = nullptr;
}

bool host_module_default_path(std::string* path) {
    char buffer[PATH_MAX];
    if (!app_resource_path("Spotweave", "so", sizeof buffer, buffer))
        return false;
    *path = buffer;
    // Installed, the module has a folder of its own below the library folder,
    // reached from the program's folder so that any prefix works.
    if (access(buffer, F_OK) != 0) {
        const std::string installed =
            path->substr(0, path->rfind('/') + 1) + SW_MODULE_FROM_BIN "/Spotweave.so";
        if (access(installed.c_str(), F_OK) == 0)
            *path = installed;
    }
    return true;
}

// ---- session ----------------------------------------------------------------------------------

void host_session_init(host_session_s* s, PluginMainProc entry, host_document_s* document,
                       VRect filter) {
    s->entry = entry;
    s->document = document;
    s->filter = filter;

    s->big = {};
    s->big.filterRect32 = filter;

    s->descriptors = {};
    s->descriptors.descriptorParametersVersion = 1;
    s->descriptors.playInfo = plugInDialogDisplay;
    s->descriptors.recordInfo = plugInDialogOptional;
    s->descriptors.readDescriptorProcs = host__read_procs();
    s->descriptors.writeDescriptorProcs = host__write_procs();

    FilterRecord& rec = s->record;
    rec = {};
    rec.abortProc = host__abort;
    rec.progressProc = host__progress;
    rec.planes = document->planes;
    rec.depth = document->depth;
    rec.filterRect = host__narrow(filter);
    rec.maxSpace = HOST_MAX_SPACE;
    rec.inputRate = 0x00010000;
    rec.maskRate = 0x00010000;
    rec.dummyPlaneValue = HOST_DUMMY_PLANE_VALUE;
    rec.advanceState = host__advance_state;
    rec.handleProcs = host_handle_procs();
    rec.descriptorParameters = &s->descriptors;
    rec.sSPBasic = host_basic_suite();
    rec.bigDocumentData = &s->big;

    s->about = {};
    s->about.sSPBasic = host_basic_suite();
    s->data = 0;
}

void host_session_free(host_session_s* s) {
    HandleProcs* procs = host_handle_procs();
    if (host_handle_is_live(s->record.parameters))
        procs->disposeProc(s->record.parameters);
    s->record.parameters = nullptr;
    if (host_handle_is_live(reinterpret_cast<Handle>(s->data)))
        procs->disposeProc(reinterpret_cast<Handle>(s->data));
    s->data = 0;
    if (host_handle_is_live(s->descriptors.descriptor))
        procs->disposeProc(s->descriptors.descriptor);
    s->descriptors.descriptor = nullptr;
    s->in_buffer.clear();
    s->out_buffer.clear();
    s->out_pending = false;
    if (host__current == s)
        host__current = nullptr;
}

const char* host_selector_name(int16 selector) {
    switch (selector) {
    case filterSelectorAbout:
        return "about";
    case filterSelectorParameters:
        return "parameters";
    case filterSelectorPrepare:
        return "prepare";
    case filterSelectorStart:
        return "start";
    case filterSelectorContinue:
        return "continue";
    case filterSelectorFinish:
        return "finish";
    default:
        return "unknown";
    }
}

int16 host_call(host_session_s* s, int16 selector) {
    host__current = s;
    int16 result = 0;
    FilterRecord* record =
        selector == filterSelectorAbout ? reinterpret_cast<FilterRecord*>(&s->about) : &s->record;
    s->entry(selector, record, &s->data, &result);
    if (s->progress_open)
        std::fputc('\n', stderr);
    s->progress_open = false;
    // The host takes the output of a call that succeeded; a failed call's
    // output is dropped.
    if (selector == filterSelectorStart || selector == filterSelectorContinue) {
        if (result == 0)
            host__commit(s);
        s->out_pending = false;
    }
    host__current = nullptr;
    if (s->trace) {
        std::fprintf(s->trace, "selector %d (%s): result %d\n", selector,
                     host_selector_name(selector), result);
        std::fflush(s->trace);
    }
    return result;
}

static const char* host__result_meaning(int16 result) {
    switch (result) {
    case piErrException:
        return "the plug-in met an unexpected error";
    case piErrBadParameter:
        return "the plug-in asked for data this host cannot serve";
    case piErrMemory:
        return "out of memory";
    case piErrMissingParameter:
        return "a required value was missing";
    case piErrMissingHandles:
        return "the plug-in's parameter blocks were missing";
    case piErrNoBasicSuite:
        return "no basic suite";
    default:
        return "plug-in error";
    }
}

host_outcome_t host_run(host_session_s* s, bool parameters, const host_desc_s* play,
                        std::string* message) {
    message->clear();
    // Start sees the played descriptor, or none; an earlier recording goes.
    if (host_handle_is_live(s->descriptors.descriptor))
        host_handle_procs()->disposeProc(s->descriptors.descriptor);
    s->descriptors.descriptor = nullptr;
    if (play) {
        std::string text = host_desc_format(play);
        s->descriptors.descriptor = host_handle_from_bytes(text.data(), text.size());
        s->descriptors.playInfo = plugInDialogDontDisplay;
    } else {
        s->descriptors.playInfo = plugInDialogDisplay;
    }

    auto failed = [s, message](int16 selector, int16 result) {
        if (result == piErrCancelled)
            return HOST_CANCELLED;
        *message = std::string("the plug-in failed at ") + host_selector_name(selector) +
                   " with code " + std::to_string(result) + " (" + host__result_meaning(result) +
                   ")";
        (void)s;
        return HOST_FAILED;
    };

    int16 result;
    if (parameters && (result = host_call(s, filterSelectorParameters)) != 0)
        return failed(filterSelectorParameters, result);
    if ((result = host_call(s, filterSelectorPrepare)) != 0)
        return failed(filterSelectorPrepare, result);
    if ((result = host_call(s, filterSelectorStart)) != 0)
        return failed(filterSelectorStart, result);

    for (int round = 0; host__wants_data(s); round++) {
        if (round == HOST_MAX_CONTINUE) {
            *message = "the plug-in kept asking for data; given up";
            return HOST_FAILED;
        }
        if ((result = host__advance(s)) != 0)
            return failed(filterSelectorContinue, result);
        if ((result = host_call(s, filterSelectorContinue)) != 0)
            return failed(filterSelectorContinue, result);
    }

    // The document already holds the result; a failure to record is a warning.
    if ((result = host_call(s, filterSelectorFinish)) != 0)
        *message = std::string("the plug-in could not record its parameters (code ") +
                   std::to_string(result) + ")";
    return HOST_DONE;
}

bool host_recorded(const host_session_s* s, host_desc_s* out) {
    std::string text;
    if (!host_handle_bytes(s->descriptors.descriptor, &text))
        return false;
    std::string error;
    return host_desc_parse(text, out, &error);
}
