#pragma once
// Host suites held for the life of the loaded plug-in: one holder per suite,
// acquired through the basic suite on first use and released when the module
// is unloaded (or by PIUSuitesRelease).
//
// Thread: the host's calling thread, like every selector.

#include "sdk/pi_suites.h"

// The host's basic suite of the current call (null between calls of a host that
// offers none). Set by the entry at the top of every call.
extern SPBasicSuite* sSPBasic;

// One suite of type T, asked for by name and version.
template <typename T> struct AutoSuite {
    const T* suite;   // the acquired table, null while not acquired
    int32 version;    // the version asked for
    const char* name; // the suite's name
    int32 error;      // result of the last acquisition

    constexpr AutoSuite(const char* suite_name, int32 suite_version)
        : suite(nullptr), version(suite_version), name(suite_name), error(0) {}
    ~AutoSuite() { Release(); }
    AutoSuite(const AutoSuite&) = delete;
    AutoSuite& operator=(const AutoSuite&) = delete;

    // Asks the basic suite for the table; without a basic suite the error is
    // 'Parm'. A failure with throwOnError throws the error as a uint32_t, which
    // the entry turns into the result -1.
    void AcquireSuite(bool throwOnError) {
        if (sSPBasic) {
            const void* table = nullptr;
            error = sSPBasic->AcquireSuite(name, version, &table);
            suite = error == 0 ? static_cast<const T*>(table) : nullptr;
        } else {
            error = PI_SP_BAD_PARAMETER;
        }
        if (error != 0 && throwOnError)
            throw uint32_t(error);
    }

    // Gives the table back through the basic suite of the last call; nothing
    // happens unless it was acquired.
    void Release() {
        if (suite && name && sSPBasic) {
            sSPBasic->ReleaseSuite(name, version);
            suite = nullptr;
        }
    }
};

// ---- holders ------------------------------------------------------------------
// The plug-in's own paths use sPSFileList (about box) and sASZString2 (16-bit
// text in the log); the others are kept for the same life cycle.

extern AutoSuite<PSActionDescriptorProcs> sPSActionDescriptor;
extern AutoSuite<PSActionDescriptorProcs3> sPSActionDescriptor3;
extern AutoSuite<PSActionDescriptorProcs2> sPSActionDescriptor2;
extern AutoSuite<PSActionControlProcs> sPSActionControl;
extern AutoSuite<PSActionControlProcs4> sPSActionControl4;
extern AutoSuite<PSActionControlProcsOld> sPSActionControlOld;
extern AutoSuite<PSBasicActionControlProcs> sPSBasicActionControl;
extern AutoSuite<PSBasicActionControlProcsOld> sPSBasicActionControlOld;
extern AutoSuite<PSActionReferenceProcs> sPSActionReference;
extern AutoSuite<PSActionListProcs> sPSActionList;
extern AutoSuite<PSDescriptorRegistryProcs> sPSRegistry;
extern AutoSuite<PSUIHooksSuite1> sPSUIHooks;
extern AutoSuite<PSHandleSuite2> sPSHandle;
extern AutoSuite<ASZStringSuite> sASZString;
extern AutoSuite<ASZStringSuite2> sASZString2;
extern AutoSuite<SPAccessSuite> sSPAccess;
extern AutoSuite<PSGetFileListSuite4> sPSFileList;
extern AutoSuite<PSBufferSuite1> sPSBuffer;
extern AutoSuite<PSBufferSuite2> sPSBuffer64;
extern AutoSuite<BufferProcs> sPSBufferProcs;
extern AutoSuite<PSChannelPortsSuite1> sPSChannelProcs;
extern AutoSuite<SPRuntimeSuite> sSPRuntime;
extern AutoSuite<PropertyProcs> sPSProperty;
extern AutoSuite<PSAliasSuite> sPSAlias;
extern AutoSuite<ResourceProcs> sPSResource;
extern AutoSuite<JSScriptingSuite2> sScripting;

// Releases every holder that holds a suite, in the order above.
void PIUSuitesRelease();
