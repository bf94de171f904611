#include "common/psdk_params.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "common/PluginMain.h"
#include "common/psdk_suites.h"

// Truncates towards zero to an integer, then keeps its low 16 bits. Values
// beyond 32 bits (and NaN, as 0) saturate first: they have no integer form.
static int16 percent_from(double value) {
    int32 whole;
    if (std::isnan(value))
        whole = 0;
    else if (value >= 2147483647.0)
        whole = INT32_MAX;
    else if (value <= -2147483648.0)
        whole = INT32_MIN;
    else
        whole = int32(value);
    return int16(whole);
}

// ---- defaults ---------------------------------------------------------------------

void InitParameters() {
    if (!gParams)
        return;
    gParams->percent = 50;
    gParams->disposition = 1;
    gParams->ignoreSelection = 0;
}

void InitData() {
    if (!gData)
        return;
    std::memset(gData, 0, sizeof(Data));
    gData->queryForParameters = 1;
}

// ---- enumeration mapping ------------------------------------------------------------

int16 ScriptToDialog(int32 value) {
    if (value >= int32(dispositionClear) && value <= int32(dispositionClear + 3))
        return int16(value - int32(dispositionClear));
    return 1;
}

int32 DialogToScript(int16 index) {
    if (uint16(index) <= 3)
        return int32(dispositionClear) + index;
    return int32(dispositionClear) + 1;
}

// ---- scripting ----------------------------------------------------------------------

OSErr ReadScriptParameters(Boolean* displayDialog) {
    if (!displayDialog)
        return piErrMissingParameter;
    *displayDialog = gData ? gData->queryForParameters : 1;
    if (!gFilterRecord || !gParams)
        return piErrMissingParameter;
    PIDescriptorParameters* dp = gFilterRecord->descriptorParameters;
    if (!dp || !dp->readDescriptorProcs)
        return piNoErr;
    const ReadDescriptorProcs* procs = dp->readDescriptorProcs;
    if (!procs->openReadDescriptorProc || !procs->closeReadDescriptorProc || !procs->getKeyProc ||
        !procs->getUnitFloatProc || !procs->getBooleanProc || !procs->getEnumeratedProc)
        return piNoErr;

    gParams->ignoreSelection = 0;
    if (!dp->descriptor)
        return piNoErr;

    static const DescriptorKeyID keys[] = {keyAmount, keyDisposition, 0};
    OSErr err = piNoErr;
    PIReadDescriptor token = procs->openReadDescriptorProc(dp->descriptor, keys);
    if (token) {
        DescriptorKeyID key = 0;
        DescType type = 0;
        int32 flags = 0;
        // The walk's own errors only stop it; the host reports failed reads
        // again when the token is closed.
        OSErr walk = piNoErr;
        while (walk == piNoErr && procs->getKeyProc(token, &key, &type, &flags)) {
            switch (key) {
            case keyIgnoreSelection: {
                Boolean value = 0;
                walk = procs->getBooleanProc(token, &value);
                if (walk == piNoErr)
                    gParams->ignoreSelection = value;
                break;
            }
            case keyDisposition: {
                DescriptorEnumID value = 0;
                walk = procs->getEnumeratedProc(token, &value);
                if (walk == piNoErr)
                    gParams->disposition = ScriptToDialog(int32(value));
                break;
            }
            case keyAmount: {
                DescriptorUnitID unit = 0;
                double value = 0.0;
                walk = procs->getUnitFloatProc(token, &unit, &value);
                if (walk == piNoErr)
                    gParams->percent = percent_from(value);
                break;
            }
            default:
                walk = piErrUnknownKey;
                break;
            }
        }
        err = procs->closeReadDescriptorProc(token);
        if (gFilterRecord->handleProcs && gFilterRecord->handleProcs->disposeProc)
            gFilterRecord->handleProcs->disposeProc(dp->descriptor);
        dp->descriptor = nullptr;
    }
    *displayDialog = dp->playInfo == plugInDialogDisplay;
    return err;
}

OSErr WriteScriptParameters() {
    if (!gFilterRecord || !gParams)
        return piErrMissingParameter;
    PIDescriptorParameters* dp = gFilterRecord->descriptorParameters;
    if (!dp || !dp->writeDescriptorProcs)
        return piNoErr;
    const WriteDescriptorProcs* procs = dp->writeDescriptorProcs;
    if (!procs->openWriteDescriptorProc || !procs->closeWriteDescriptorProc ||
        !procs->putUnitFloatProc || !procs->putEnumeratedProc || !procs->putBooleanProc)
        return piNoErr;

    PIWriteDescriptor token = procs->openWriteDescriptorProc();
    if (!token)
        return piErrMissingParameter;
    double percent = gParams->percent;
    procs->putUnitFloatProc(token, keyAmount, unitPercent, &percent);
    procs->putEnumeratedProc(token, keyDisposition, typeMood,
                             DescriptorEnumID(DialogToScript(gParams->disposition)));
    if (gParams->ignoreSelection)
        procs->putBooleanProc(token, keyIgnoreSelection, gParams->ignoreSelection);

    if (dp->descriptor && gFilterRecord->handleProcs && gFilterRecord->handleProcs->disposeProc)
        gFilterRecord->handleProcs->disposeProc(dp->descriptor);
    dp->descriptor = nullptr;
    PIDescriptorHandle recorded = nullptr;
    procs->closeWriteDescriptorProc(token, &recorded);
    dp->descriptor = recorded;
    dp->recordInfo = plugInDialogOptional;
    return piNoErr;
}

// ---- registry ---------------------------------------------------------------------------

// The registry and descriptor suites, held for one registry call.
struct registry_suites_s {
    const PSDescriptorRegistryProcs* registry = nullptr;
    const PSActionDescriptorProcs* descriptor = nullptr;
};

// Acquires both registry suites for a read or write of the parameter block.
static SPErr registry_acquire(registry_suites_s* s) {
    if (!sSPBasic)
        return piErrNoBasicSuite;
    if (!gParams)
        return piErrMissingParameter;
    const void* table = nullptr;
    SPErr err = sSPBasic->AcquireSuite(kPSDescriptorRegistrySuite,
                                       kPSDescriptorRegistrySuiteVersion, &table);
    if (err != 0 || !table)
        return err != 0 ? err : PI_SP_SUITE_NOT_FOUND;
    s->registry = static_cast<const PSDescriptorRegistryProcs*>(table);
    table = nullptr;
    err = sSPBasic->AcquireSuite(kPSActionDescriptorSuite, kPSActionDescriptorSuiteVersion, &table);
    if (err != 0 || !table) {
        sSPBasic->ReleaseSuite(kPSDescriptorRegistrySuite, kPSDescriptorRegistrySuiteVersion);
        s->registry = nullptr;
        return err != 0 ? err : PI_SP_SUITE_NOT_FOUND;
    }
    s->descriptor = static_cast<const PSActionDescriptorProcs*>(table);
    return 0;
}

static void registry_release(registry_suites_s* s) {
    sSPBasic->ReleaseSuite(kPSActionDescriptorSuite, kPSActionDescriptorSuiteVersion);
    sSPBasic->ReleaseSuite(kPSDescriptorRegistrySuite, kPSDescriptorRegistrySuiteVersion);
    s->registry = nullptr;
    s->descriptor = nullptr;
}

SPErr ReadRegistryParameters() {
    registry_suites_s suites;
    SPErr err = registry_acquire(&suites);
    if (err != 0)
        return err;

    PIActionDescriptor d = nullptr;
    err = suites.registry->Get(PSDK_REGISTRY_KEY, &d);
    if (err == 0 && d) {
        DescriptorUnitID unit = 0;
        double amount = 0.0;
        err = suites.descriptor->GetUnitFloat(d, keyAmount, &unit, &amount);
        if (err == 0) {
            gParams->percent = percent_from(amount);
            DescriptorEnumTypeID type = 0;
            DescriptorEnumID value = 0;
            err = suites.descriptor->GetEnumerated(d, keyDisposition, &type, &value);
            if (err == 0)
                gParams->disposition = ScriptToDialog(int32(value));
        }
        if (err == 0) {
            Boolean ignore = 0;
            err = suites.descriptor->GetBoolean(d, keyIgnoreSelection, &ignore);
            if (err == 0)
                gParams->ignoreSelection = ignore;
        }
    }
    if (d)
        suites.descriptor->Free(d);
    registry_release(&suites);
    return err;
}

SPErr WriteRegistryParameters() {
    registry_suites_s suites;
    SPErr err = registry_acquire(&suites);
    if (err != 0)
        return err;

    PIActionDescriptor d = nullptr;
    err = suites.descriptor->Make(&d);
    if (err == 0)
        err = suites.descriptor->PutUnitFloat(d, keyAmount, unitPercent, gParams->percent);
    if (err == 0)
        err = suites.descriptor->PutEnumerated(
            d, keyDisposition, typeMood, DescriptorEnumID(DialogToScript(gParams->disposition)));
    if (err == 0)
        err = suites.descriptor->PutBoolean(d, keyIgnoreSelection, gParams->ignoreSelection);
    if (err == 0)
        err = suites.registry->Register(PSDK_REGISTRY_KEY, d, true);
    if (d)
        suites.descriptor->Free(d);
    registry_release(&suites);
    return err;
}
