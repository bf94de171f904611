#include "common/psdk_suites.h"

SPBasicSuite* sSPBasic = nullptr;

// The holders are constant-initialised, so they exist before any static
// constructor could use them and need no start-up order.
constinit AutoSuite<PSActionDescriptorProcs> sPSActionDescriptor(kPSActionDescriptorSuite, 5);
constinit AutoSuite<PSActionDescriptorProcs3> sPSActionDescriptor3(kPSActionDescriptorSuite, 3);
constinit AutoSuite<PSActionDescriptorProcs2> sPSActionDescriptor2(kPSActionDescriptorSuite, 2);
constinit AutoSuite<PSActionControlProcs> sPSActionControl("bc1e4d70-f953-11d0-8d9f-00c04fd5f7ee",
                                                           5);
constinit AutoSuite<PSActionControlProcs4> sPSActionControl4("bc1e4d70-f953-11d0-8d9f-00c04fd5f7ee",
                                                             4);
constinit AutoSuite<PSActionControlProcsOld>
    sPSActionControlOld("bc1e4d70-f953-11d0-8d9f-00c04fd5f7ee", 3);
constinit AutoSuite<PSBasicActionControlProcs>
    sPSBasicActionControl("3eb7c480-8797-11d1-8da7-00c04fd5f7ee", 3);
constinit AutoSuite<PSBasicActionControlProcsOld>
    sPSBasicActionControlOld("3eb7c480-8797-11d1-8da7-00c04fd5f7ee", 2);
constinit AutoSuite<PSActionReferenceProcs>
    sPSActionReference("df135117-c769-11d0-8079-00c04fd7ec47", 3);
constinit AutoSuite<PSActionListProcs> sPSActionList("df135116-c769-11d0-8079-00c04fd7ec47", 3);
constinit AutoSuite<PSDescriptorRegistryProcs> sPSRegistry(kPSDescriptorRegistrySuite, 1);
constinit AutoSuite<PSUIHooksSuite1> sPSUIHooks("Photoshop UIHooks Suite for Plug-ins", 1);
constinit AutoSuite<PSHandleSuite2> sPSHandle("Photoshop Handle Suite for Plug-ins", 2);
constinit AutoSuite<ASZStringSuite> sASZString(kASZStringSuite, 1);
constinit AutoSuite<ASZStringSuite2> sASZString2(kASZStringSuite, 2);
constinit AutoSuite<SPAccessSuite> sSPAccess("SP Access Suite", 3);
constinit AutoSuite<PSGetFileListSuite4> sPSFileList(kPSGetFileListSuite, 4);
constinit AutoSuite<PSBufferSuite1> sPSBuffer("Photoshop Buffer Suite for Plug-ins", 1);
constinit AutoSuite<PSBufferSuite2> sPSBuffer64("Photoshop Buffer Suite for Plug-ins", 2);
constinit AutoSuite<BufferProcs> sPSBufferProcs("Photoshop Buffer Procs for Plug-ins", 2);
constinit AutoSuite<PSChannelPortsSuite1>
    sPSChannelProcs("Photoshop ChannelPorts Suite for Plug-ins", 3);
constinit AutoSuite<SPRuntimeSuite> sSPRuntime("SP Runtime Suite", 5);
constinit AutoSuite<PropertyProcs> sPSProperty("Photoshop Property Suite for Plug-ins", 1);
constinit AutoSuite<PSAliasSuite> sPSAlias("Photoshop Alias Utility Suite", 1);
constinit AutoSuite<ResourceProcs> sPSResource("Photoshop Resource Suite for Plug-ins", 3);
constinit AutoSuite<JSScriptingSuite2> sScripting("JavaScript Scripting Suite", 2);

void PIUSuitesRelease() {
    sPSActionDescriptor.Release();
    sPSActionDescriptor3.Release();
    sPSActionDescriptor2.Release();
    sPSActionControl.Release();
    sPSActionControl4.Release();
    sPSActionControlOld.Release();
    sPSBasicActionControl.Release();
    sPSBasicActionControlOld.Release();
    sPSActionReference.Release();
    sPSActionList.Release();
    sPSRegistry.Release();
    sPSUIHooks.Release();
    sPSHandle.Release();
    sASZString.Release();
    sASZString2.Release();
    sSPAccess.Release();
    sPSFileList.Release();
    sPSBuffer.Release();
    sPSBuffer64.Release();
    sPSBufferProcs.Release();
    sPSChannelProcs.Release();
    sSPRuntime.Release();
    sPSProperty.Release();
    sPSAlias.Release();
    sPSResource.Release();
    sScripting.Release();
}
