#pragma once
// The filter's parameter block and data block, their defaults, and their
// exchange with the host: the action descriptor played back at start and
// recorded at finish (scripting), and the entry in the host's persistent
// descriptor registry.
//
// Thread: the host's calling thread. Every function works on the blocks that
// LockHandles has locked into gParams and gData.

#include "sdk/pi_filter.h"

// ---- blocks ----------------------------------------------------------------------

// The parameter block (a 6-byte host handle). The values are kept, recorded,
// played back and restored on cancel; they do not change what is computed.
struct Parameters {
    int16 percent;           // default 50
    int16 disposition;       // index 0..3, default 1
    Boolean ignoreSelection; // default 0
};
static_assert(sizeof(Parameters) == 6, "the parameter block is 6 bytes");

// The data block (a 96-byte host handle kept in the host's data slot). Only
// queryForParameters is used; the rest is reserved.
struct Data {
    Boolean queryForParameters; // 1 after initialisation; 0 once start runs silently
    char reserved[95];
};
static_assert(sizeof(Data) == 96, "the data block is 96 bytes");

// ---- descriptor vocabulary ------------------------------------------------------------

constexpr DescriptorKeyID keyAmount = 0x416D6E74;          // 'Amnt': percent, unit float
constexpr DescriptorKeyID keyDisposition = 0x64697350;     // 'disP': disposition, enumeration
constexpr DescriptorKeyID keyIgnoreSelection = 0x69676E53; // 'ignS': ignoreSelection, boolean
constexpr DescriptorUnitID unitPercent = 0x23507263;       // '#Prc'
constexpr DescriptorEnumTypeID typeMood = 0x6D6F6F44;      // 'mooD'
constexpr DescriptorEnumID dispositionClear = 0x6D6F4430;  // 'moD0'; 'moD1'..'moD3' follow

// The registry entry's key.
#define PSDK_REGISTRY_KEY "964f9468-f27a-49ca-b8c9-54fa24e42f0f"

// ---- defaults ---------------------------------------------------------------------------

// Sets percent 50, disposition 1, ignoreSelection 0 in gParams.
void InitParameters();

// Sets queryForParameters to 1 in gData.
void InitData();

// ---- enumeration mapping ------------------------------------------------------------------

// Returns value - 'moD0' for 'moD0'..'moD3', otherwise 1.
int16 ScriptToDialog(int32 value);

// Returns 'moD0' + index for 0..3, otherwise 'moD1'.
int32 DialogToScript(int16 index);

// ---- scripting -----------------------------------------------------------------------------

// Reads the played-back descriptor into gParams (ignoreSelection becomes 0
// first: an absent key means false) and disposes of it. Returns -1715 for a null
// displayDialog, else the host's result of closing the read (nonzero when any
// read failed); 0 when there is nothing to read. *displayDialog says whether the
// host asked to show the dialog.
OSErr ReadScriptParameters(Boolean* displayDialog);

// Records gParams into a new descriptor for the host's action; ignoreSelection
// only when set. Returns -1715 when the host gives no write token, else 0.
OSErr WriteScriptParameters();

// ---- registry ---------------------------------------------------------------------------------

// Reads the registry entry into gParams, each value only while all before it
// were read. Returns -30900 without a basic suite, else the first failure's code
// or 0.
SPErr ReadRegistryParameters();

// Stores gParams in the registry as a persistent entry, ignoreSelection always.
// Returns -30900 without a basic suite, else the first failure's code or 0.
SPErr WriteRegistryParameters();
