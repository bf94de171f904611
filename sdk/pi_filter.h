#ifndef SW_SDK_PI_FILTER_H
#define SW_SDK_PI_FILTER_H
/* The filter interface between a host and a filter plug-in module: the entry,
 * its selectors, the filter record with its buffers and rectangles, the handle,
 * progress and state procedures, the descriptor (scripting) procedures and the
 * result codes. Plain C, so that hosts and plug-ins in either language compile
 * against the same layout. Suites reached through the basic suite are in
 * sdk/pi_suites.h.
 *
 * Thread: a host calls the entry from one thread at a time; every procedure in
 * the record is called on that thread, during that call. */

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Scalars -------------------------------------------------------------- */

typedef int16_t int16;
typedef int32_t int32;
typedef uint16_t uint16;
typedef uint32_t uint32;
typedef unsigned char Boolean;
typedef int16 OSErr; /* result word of the entry and of record procedures */
typedef int32 SPErr; /* result of suite procedures */
typedef int32 Fixed; /* 16.16 fixed point; 0x00010000 is 1.0 */
typedef char* Ptr;

/* Four-character codes: the first character sits in the most significant byte
 * ('Amnt' is 0x416D6E74). */
typedef uint32 DescriptorKeyID;
typedef uint32 DescType;
typedef uint32 DescriptorUnitID;
typedef uint32 DescriptorEnumTypeID;
typedef uint32 DescriptorEnumID;

/* Handles: blocks of host memory that the plug-in reaches only through the
 * handle procedures. Opaque to the plug-in. */
typedef struct PIHandleRecord* Handle;

/* Descriptor handles hold a recorded descriptor in the host's own format. */
typedef Handle PIDescriptorHandle;

/* ---- Result codes ---------------------------------------------------------- */

enum {
    piNoErr = 0,
    piErrException = -1,           /* an exception reached the plug-in's entry */
    piErrUnknownKey = -19,         /* a descriptor held a key the plug-in does not know */
    piErrBadParameter = -50,       /* host: a request it cannot serve (bad rectangle, planes) */
    piErrMemory = -108,            /* a handle could not be allocated or locked */
    piErrCancelled = -128,         /* the user cancelled; the document is unchanged */
    piErrMissingParameter = -1715, /* a required pointer or token is missing */
    piErrWrongType = -1723,        /* host: a descriptor value read with the wrong type */
    piErrNoSuchKey = -1728,        /* host: a descriptor has no value under the key */
    piErrMissingHandles = -30100,  /* the parameter or data handle is missing at lock time */
    piErrNoBasicSuite = -30900     /* the record carries no basic suite */
};

/* Suite results are 32-bit; these are four-character codes. */
#define PI_SP_BAD_PARAMETER ((SPErr)0x5061726D)   /* 'Parm': no basic suite to ask */
#define PI_SP_SUITE_NOT_FOUND ((SPErr)0x53214664) /* 'S!Fd': no suite of that name/version */
#define PI_SP_OUT_OF_MEMORY ((SPErr)0x214D656D)   /* '!Mem' */
#define PI_SP_BAD_ARGUMENT ((SPErr)0x21417267)    /* '!Arg': null or unknown object, bad text */
#define PI_SP_NOT_FOUND ((SPErr)0x214B6579)       /* '!Key': no such key or entry */
#define PI_SP_WRONG_TYPE ((SPErr)0x21547970)      /* '!Typ': value read with the wrong type */
#define PI_SP_IO_ERROR ((SPErr)0x21494F20)        /* '!IO ': the host could not store it */

/* ---- Selectors --------------------------------------------------------------- */

enum {
    filterSelectorAbout = 0,      /* record is an AboutRecord */
    filterSelectorParameters = 1, /* allocate and default the parameters */
    filterSelectorPrepare = 2,    /* allocate if needed; state memory needs */
    filterSelectorStart = 3,      /* do the work */
    filterSelectorContinue = 4,   /* more data, until the rectangles are empty */
    filterSelectorFinish = 5      /* record the parameters */
};

/* ---- Geometry --------------------------------------------------------------- */

/* 16-bit rectangle; width is right - left, height bottom - top. */
typedef struct Rect {
    int16 top;
    int16 left;
    int16 bottom;
    int16 right;
} Rect;

/* 32-bit rectangle, same meaning. */
typedef struct VRect {
    int32 top;
    int32 left;
    int32 bottom;
    int32 right;
} VRect;

/* ---- Procedures -------------------------------------------------------------- */

/* Handle procedures. newProc returns null when the memory is not available.
 * lockProc returns the block's memory, valid until the matching unlockProc
 * (null on failure); locks nest. disposeProc frees a handle (null is ignored). */
typedef Handle (*NewPIHandleProc)(int32 size);
typedef void (*DisposePIHandleProc)(Handle handle);
typedef int32 (*GetPIHandleSizeProc)(Handle handle);
typedef Ptr (*LockPIHandleProc)(Handle handle, Boolean moveHigh);
typedef void (*UnlockPIHandleProc)(Handle handle);

typedef struct HandleProcs {
    int16 handleProcsVersion; /* 1 */
    int16 numHandleProcs;     /* 5 */
    NewPIHandleProc newProc;
    DisposePIHandleProc disposeProc;
    GetPIHandleSizeProc getSizeProc;
    LockPIHandleProc lockProc;
    UnlockPIHandleProc unlockProc;
} HandleProcs;

/* Commits the previous output buffer and fills inData/outData (and maskData)
 * for the rectangles and planes now in the record. Returns 0 or an error. */
typedef OSErr (*AdvanceStateProc)(void);

/* Shows that done of total units of work are complete. */
typedef void (*ProgressProc)(int32 done, int32 total);

/* Returns true when the user asked to stop. */
typedef Boolean (*TestAbortProc)(void);

/* ---- Descriptor (scripting) procedures --------------------------------------- */

typedef struct PIOpaqueReadDescriptor* PIReadDescriptor;
typedef struct PIOpaqueWriteDescriptor* PIWriteDescriptor;

/* Value types of descriptor entries. */
#define typeUnitFloat ((DescType)0x556E7446)  /* 'UntF': unit code and double */
#define typeEnumerated ((DescType)0x656E756D) /* 'enum': enumeration type and value */
#define typeBoolean ((DescType)0x626F6F6C)    /* 'bool' */
#define typeInteger ((DescType)0x6C6F6E67)    /* 'long': int32 */
#define typeFloat ((DescType)0x646F7562)      /* 'doub': double */

/* Opens a token that hands out the descriptor's keys one by one. keys is a
 * zero-terminated list of the keys the plug-in expects. Returns null when the
 * descriptor cannot be read. */
typedef PIReadDescriptor (*OpenReadDescriptorProc)(PIDescriptorHandle descriptor,
                                                   const DescriptorKeyID* keys);
/* Frees the token; returns the first error any read on it met, else 0. */
typedef OSErr (*CloseReadDescriptorProc)(PIReadDescriptor token);
/* Moves to the next entry and writes its key and type (flags: 0). Returns false
 * when no entry is left. */
typedef Boolean (*GetKeyProc)(PIReadDescriptor token, DescriptorKeyID* key, DescType* type,
                              int32* flags);
/* Read the current entry's value; a mismatched type is an error and leaves the
 * outputs untouched. */
typedef OSErr (*GetUnitFloatProc)(PIReadDescriptor token, DescriptorUnitID* unit, double* value);
typedef OSErr (*GetBooleanProc)(PIReadDescriptor token, Boolean* value);
typedef OSErr (*GetEnumeratedProc)(PIReadDescriptor token, DescriptorEnumID* value);
typedef OSErr (*GetIntegerProc)(PIReadDescriptor token, int32* value);
typedef OSErr (*GetFloatProc)(PIReadDescriptor token, double* value);

typedef struct ReadDescriptorProcs {
    int16 readDescriptorProcsVersion; /* 1 */
    int16 numReadDescriptorProcs;     /* 8 */
    OpenReadDescriptorProc openReadDescriptorProc;
    CloseReadDescriptorProc closeReadDescriptorProc;
    GetKeyProc getKeyProc;
    GetUnitFloatProc getUnitFloatProc;
    GetBooleanProc getBooleanProc;
    GetEnumeratedProc getEnumeratedProc;
    GetIntegerProc getIntegerProc;
    GetFloatProc getFloatProc;
} ReadDescriptorProcs;

/* Opens an empty write token; null when the host cannot make one. */
typedef PIWriteDescriptor (*OpenWriteDescriptorProc)(void);
/* Frees the token and writes a new descriptor handle with its entries to
 * *descriptor (the caller's handle from then on). */
typedef OSErr (*CloseWriteDescriptorProc)(PIWriteDescriptor token, PIDescriptorHandle* descriptor);
/* Add or replace the entry under key. */
typedef OSErr (*PutUnitFloatProc)(PIWriteDescriptor token, DescriptorKeyID key,
                                  DescriptorUnitID unit, const double* value);
typedef OSErr (*PutBooleanProc)(PIWriteDescriptor token, DescriptorKeyID key, Boolean value);
typedef OSErr (*PutEnumeratedProc)(PIWriteDescriptor token, DescriptorKeyID key,
                                   DescriptorEnumTypeID type, DescriptorEnumID value);
typedef OSErr (*PutIntegerProc)(PIWriteDescriptor token, DescriptorKeyID key, int32 value);
typedef OSErr (*PutFloatProc)(PIWriteDescriptor token, DescriptorKeyID key, const double* value);

typedef struct WriteDescriptorProcs {
    int16 writeDescriptorProcsVersion; /* 1 */
    int16 numWriteDescriptorProcs;     /* 7 */
    OpenWriteDescriptorProc openWriteDescriptorProc;
    CloseWriteDescriptorProc closeWriteDescriptorProc;
    PutUnitFloatProc putUnitFloatProc;
    PutBooleanProc putBooleanProc;
    PutEnumeratedProc putEnumeratedProc;
    PutIntegerProc putIntegerProc;
    PutFloatProc putFloatProc;
} WriteDescriptorProcs;

/* playInfo: whether the plug-in should show its dialog during playback. */
enum { plugInDialogDontDisplay = 0, plugInDialogDisplay = 1, plugInDialogSilent = 2 };
/* recordInfo: whether the recorded step shows the dialog when played back. */
enum { plugInDialogOptional = 0, plugInDialogRequired = 1, plugInDialogNone = 2 };

typedef struct PIDescriptorParameters {
    int16 descriptorParametersVersion; /* 1 */
    int16 playInfo;
    int16 recordInfo;
    PIDescriptorHandle descriptor; /* played back at start; recorded at finish */
    WriteDescriptorProcs* writeDescriptorProcs;
    ReadDescriptorProcs* readDescriptorProcs;
} PIDescriptorParameters;

/* ---- Records ------------------------------------------------------------------- */

struct SPBasicSuite;

/* 32-bit twins of the record's rectangles. A plug-in that sets
 * PluginUsing32BitCoordinates reads and writes these instead of the 16-bit
 * fields, and the host then reads the requests from them. */
typedef struct BigDocumentStruct {
    int32 PluginUsing32BitCoordinates;
    VRect filterRect32;
    VRect inRect32;
    VRect outRect32;
    VRect maskRect32;
} BigDocumentStruct;

/* The record of every selector but about. Buffers: one sample a plane (1 byte
 * at depth 8, 2 at depth 16, native order), planes interleaved, requested
 * planes inLoPlane..inHiPlane preceded by inPreDummyPlanes and followed by
 * inPostDummyPlanes dummy planes, rows inRowBytes apart (likewise out). */
typedef struct FilterRecord {
    TestAbortProc abortProc;
    ProgressProc progressProc;
    Handle parameters; /* the plug-in's parameter block, kept by the host */

    int16 planes;      /* planes of the document: 3 (RGB) or 4 (RGBA) */
    int16 depth;       /* bits a sample: 8 or 16 */
    Rect filterRect;   /* the area to filter */
    int32 maxSpace;    /* memory the host offers for buffers; the plug-in may lower it */
    int32 bufferSpace; /* memory the plug-in needs besides the buffers */

    Rect inRect; /* requested input area */
    int16 inLoPlane;
    int16 inHiPlane;
    Rect outRect; /* requested output area */
    int16 outLoPlane;
    int16 outHiPlane;
    Rect maskRect; /* requested mask area (only with haveMask) */

    void* inData; /* filled by advanceState */
    int32 inRowBytes;
    void* outData; /* filled by advanceState with the current pixels; taken back */
    int32 outRowBytes;
    Boolean haveMask; /* the filter area has a selection mask */
    void* maskData;   /* one byte a pixel, or null */
    int32 maskRowBytes;

    Fixed inputRate; /* sampling of the input; 1.0 = every pixel */
    Fixed maskRate;

    int16 inPreDummyPlanes;
    int16 inPostDummyPlanes;
    int16 outPreDummyPlanes;
    int16 outPostDummyPlanes;
    int32 dummyPlaneValue; /* byte the host puts in dummy planes (0..255) */

    AdvanceStateProc advanceState;
    HandleProcs* handleProcs;
    PIDescriptorParameters* descriptorParameters; /* null: no scripting */
    struct SPBasicSuite* sSPBasic;                /* null: no suites */
    BigDocumentStruct* bigDocumentData;           /* null: 16-bit rectangles only */
} FilterRecord;

/* The record of the about selector. */
typedef struct AboutRecord {
    void* platformData;
    struct SPBasicSuite* sSPBasic;
    void* plugInRef;
} AboutRecord;

/* ---- Entry --------------------------------------------------------------------- */

/* The module's single export. record is an AboutRecord for filterSelectorAbout.
 * data is the host-kept slot the plug-in may keep one value in between calls;
 * the plug-in writes its result code into *result (0 before the call). */
typedef void (*PluginMainProc)(int16 selector, FilterRecord* record, intptr_t* data, int16* result);

#define PI_ENTRY_NAME "PluginMain"

#ifdef __cplusplus
}
#endif

#endif /* SW_SDK_PI_FILTER_H */
