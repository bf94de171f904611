#ifndef SW_SDK_PI_SUITES_H
#define SW_SDK_PI_SUITES_H
/* Suites: named, versioned procedure tables a host hands out through the basic
 * suite of the filter record. The tables the filter uses are spelled out here;
 * the others are declared only by name, so that a plug-in can hold a pointer to
 * them without relying on their layout.
 *
 * Ownership: a table stays valid from AcquireSuite until the matching
 * ReleaseSuite; the basic suite itself stays valid until the host unloads the
 * module. Thread: the host's calling thread, as for the record. */

#include "sdk/pi_filter.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Basic suite --------------------------------------------------------------- */

/* Writes the table of the named suite at version to *suite and returns 0, or
 * returns PI_SP_SUITE_NOT_FOUND (and writes null) when the host has none. */
typedef SPErr (*SPAcquireSuiteProc)(const char* name, int32 version, const void** suite);
/* Gives one acquisition back. */
typedef SPErr (*SPReleaseSuiteProc)(const char* name, int32 version);

typedef struct SPBasicSuite {
    SPAcquireSuiteProc AcquireSuite;
    SPReleaseSuiteProc ReleaseSuite;
} SPBasicSuite;

/* ---- Action descriptors ---------------------------------------------------------- */

#define kPSActionDescriptorSuite "df135115-c769-11d0-8079-00c04fd7ec47"
#define kPSActionDescriptorSuiteVersion 5

/* A descriptor object of the host: a set of typed values under distinct keys. */
typedef struct PIActionDescriptorRecord* PIActionDescriptor;

/* Each returns 0, or an error with the outputs untouched (PI_SP_NOT_FOUND: no
 * value under key; PI_SP_WRONG_TYPE: the value has another type). */
typedef struct PSActionDescriptorProcs {
    SPErr (*Make)(PIActionDescriptor* descriptor);
    SPErr (*Free)(PIActionDescriptor descriptor);
    SPErr (*HasKey)(PIActionDescriptor descriptor, DescriptorKeyID key, Boolean* hasKey);
    SPErr (*GetType)(PIActionDescriptor descriptor, DescriptorKeyID key, DescType* type);
    SPErr (*PutUnitFloat)(PIActionDescriptor descriptor, DescriptorKeyID key, DescriptorUnitID unit,
                          double value);
    SPErr (*PutEnumerated)(PIActionDescriptor descriptor, DescriptorKeyID key,
                           DescriptorEnumTypeID type, DescriptorEnumID value);
    SPErr (*PutBoolean)(PIActionDescriptor descriptor, DescriptorKeyID key, Boolean value);
    SPErr (*GetUnitFloat)(PIActionDescriptor descriptor, DescriptorKeyID key,
                          DescriptorUnitID* unit, double* value);
    SPErr (*GetEnumerated)(PIActionDescriptor descriptor, DescriptorKeyID key,
                           DescriptorEnumTypeID* type, DescriptorEnumID* value);
    SPErr (*GetBoolean)(PIActionDescriptor descriptor, DescriptorKeyID key, Boolean* value);
} PSActionDescriptorProcs;

/* Older revisions of the same suite: not served by our host. */
typedef struct PSActionDescriptorProcs3 PSActionDescriptorProcs3;
typedef struct PSActionDescriptorProcs2 PSActionDescriptorProcs2;

/* ---- Descriptor registry ---------------------------------------------------------- */

#define kPSDescriptorRegistrySuite "61e608b0-40fd-11d1-8da3-00c04fd5f7ee"
#define kPSDescriptorRegistrySuiteVersion 1

/* Register stores a copy of descriptor under key (persistent: it survives the
 * host's restart). Get writes a new copy (the caller frees it with the action
 * descriptor suite) or null with result 0 when nothing is stored. */
typedef struct PSDescriptorRegistryProcs {
    SPErr (*Register)(const char* key, PIActionDescriptor descriptor, Boolean isPersistent);
    SPErr (*Erase)(const char* key);
    SPErr (*Get)(const char* key, PIActionDescriptor* descriptor);
} PSDescriptorRegistryProcs;

/* ---- Strings ------------------------------------------------------------------------ */

#define kASZStringSuite "AS ZString Suite"
#define kASZStringSuiteVersion2 2

typedef uint16 ASUnicode; /* one UTF-16 code unit */
typedef struct ASZByteRun* ASZString;

/* Host strings, reference counted. MakeFromUnicode reads count UTF-16 units.
 * LengthAsCString gives the bytes AsCString needs, terminator included.
 * AsCString writes the UTF-8 text terminated; it fails when size is too small. */
typedef struct ASZStringSuite2 {
    SPErr (*MakeFromUnicode)(const ASUnicode* units, size_t count, ASZString* string);
    uint32 (*LengthAsCString)(ASZString string);
    SPErr (*AsCString)(ASZString string, char* buffer, uint32 size);
    SPErr (*AddRef)(ASZString string);
    SPErr (*Release)(ASZString string);
} ASZStringSuite2;

typedef struct ASZStringSuite ASZStringSuite; /* version 1: not served */

/* ---- File list (browser) --------------------------------------------------------------- */

#define kPSGetFileListSuite "Photoshop GetFileList Suite for Plug-ins"
#define kPSGetFileListSuiteVersion4 4

/* BrowseUrl opens the address in the user's browser; 0 when it was handed over. */
typedef struct PSGetFileListSuite4 {
    SPErr (*BrowseUrl)(const char* url);
} PSGetFileListSuite4;

/* ---- Suites known by name only ---------------------------------------------------------- */

typedef struct PSActionControlProcs PSActionControlProcs;
typedef struct PSActionControlProcs4 PSActionControlProcs4;
typedef struct PSActionControlProcsOld PSActionControlProcsOld;
typedef struct PSBasicActionControlProcs PSBasicActionControlProcs;
typedef struct PSBasicActionControlProcsOld PSBasicActionControlProcsOld;
typedef struct PSActionReferenceProcs PSActionReferenceProcs;
typedef struct PSActionListProcs PSActionListProcs;
typedef struct PSUIHooksSuite1 PSUIHooksSuite1;
typedef struct PSHandleSuite2 PSHandleSuite2;
typedef struct SPAccessSuite SPAccessSuite;
typedef struct PSBufferSuite1 PSBufferSuite1;
typedef struct PSBufferSuite2 PSBufferSuite2;
typedef struct BufferProcs BufferProcs;
typedef struct PSChannelPortsSuite1 PSChannelPortsSuite1;
typedef struct SPRuntimeSuite SPRuntimeSuite;
typedef struct PropertyProcs PropertyProcs;
typedef struct PSAliasSuite PSAliasSuite;
typedef struct ResourceProcs ResourceProcs;
typedef struct JSScriptingSuite2 JSScriptingSuite2;

#ifdef __cplusplus
}
#endif

#endif /* SW_SDK_PI_SUITES_H */
