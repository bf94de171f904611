/* The one translation unit that holds the stb implementations we use. */
#include <errno.h>
#include <setjmp.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

/* Decoder failures carry the readable reason ("Corrupt PNG"), which the
   programs show, rather than the short code. */
#define STBI_FAILURE_USERMSG
#define STB_IMAGE_IMPLEMENTATION
#include "stb_image.h"

/* ---- stb_image_write under a memory guard -------------------------------------
   The PNG encoder grows its zlib buffers without checking realloc, so a failed
   allocation would be written through. Every allocation of the encoder is made
   here instead, linked into the list of the guarded encode running on this
   thread; when one fails, that encode is abandoned with longjmp (only C frames
   of the encoder lie in between) and everything it held is freed. */

typedef struct sw_block {
    struct sw_block *prev, *next; /* two pointers: the payload keeps malloc's alignment */
} sw_block;

typedef struct sw_guard {
    sw_block head; /* circular list of the encode's live blocks */
    jmp_buf fail;
} sw_guard;

static _Thread_local sw_guard *sw_current;

static void sw_link(sw_block *b) {
    if (!sw_current) {
        b->prev = b->next = NULL;
        return;
    }
    b->prev = &sw_current->head;
    b->next = sw_current->head.next;
    b->next->prev = b;
    sw_current->head.next = b;
}

static void sw_unlink(sw_block *b) {
    if (b->prev) {
        b->prev->next = b->next;
        b->next->prev = b->prev;
    }
    b->prev = b->next = NULL;
}

static void sw_out_of_memory(void) {
    errno = ENOMEM;
    if (sw_current)
        longjmp(sw_current->fail, 1);
}

static void *sw_stbiw_malloc(size_t size) {
    sw_block *b = size <= SIZE_MAX - sizeof *b ? malloc(sizeof *b + size) : NULL;
    if (!b) {
        sw_out_of_memory();
        return NULL;
    }
    sw_link(b);
    return b + 1;
}

static void *sw_stbiw_realloc(void *p, size_t size) {
    if (!p)
        return sw_stbiw_malloc(size);
    sw_block *old = (sw_block *)p - 1;
    sw_block *prev = old->prev;
    sw_unlink(old);
    sw_block *b = size <= SIZE_MAX - sizeof *b ? realloc(old, sizeof *b + size) : NULL;
    if (!b) {
        if (prev)
            sw_link(old); /* still the guard's to free */
        sw_out_of_memory();
        return NULL;
    }
    if (prev)
        sw_link(b);
    return b + 1;
}

static void sw_stbiw_free(void *p) {
    if (!p)
        return;
    sw_block *b = (sw_block *)p - 1;
    sw_unlink(b);
    free(b);
}

#define STBIW_MALLOC(size) sw_stbiw_malloc(size)
#define STBIW_REALLOC(p, size) sw_stbiw_realloc(p, size)
#define STBIW_FREE(p) sw_stbiw_free(p)
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "stb_image_write.h"

/* Frees every block the guard still holds. */
static void sw_guard_release(sw_guard *guard) {
    while (guard->head.next != &guard->head) {
        sw_block *b = guard->head.next;
        sw_unlink(b);
        free(b);
    }
}

/* stbi_write_png_to_mem that returns null with errno ENOMEM, leaking nothing,
   when memory runs out. The result is a plain malloc'd block (free()). */
unsigned char *sw_stbi_write_png_to_mem(const unsigned char *pixels, int stride_bytes, int x,
                                        int y, int n, int *out_len) {
    sw_guard guard;
    guard.head.prev = guard.head.next = &guard.head;
    sw_guard *outer = sw_current;
    unsigned char *volatile png = NULL;
    sw_current = &guard;
    if (setjmp(guard.fail) == 0)
        png = stbi_write_png_to_mem(pixels, stride_bytes, x, y, n, out_len);
    sw_current = outer;
    if (!png) {
        sw_guard_release(&guard);
        return NULL;
    }
    /* The result is the one block left: unlink it and drop its header in place. */
    sw_block *b = (sw_block *)png - 1;
    sw_unlink(b);
    sw_guard_release(&guard);
    memmove(b, png, (size_t)*out_len);
    unsigned char *plain = realloc(b, (size_t)*out_len > 0 ? (size_t)*out_len : 1);
    return plain ? plain : (unsigned char *)b;
}

#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include "stb_image_resize.h"
