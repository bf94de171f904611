// The host on its own: buffers, handles, the run sequence, suites and module
// loading, driven by small probe entries instead of a real plug-in.

#include "host_test_util.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <functional>

using namespace host_test;

namespace {

// The probe entry forwards every call to the test's function.
std::function<void(int16, FilterRecord*, intptr_t*, int16*)> g_probe;

void probe_entry(int16 selector, FilterRecord* record, intptr_t* data, int16* result) {
    g_probe(selector, record, data, result);
}

class HostSession : public HostTest {
protected:
    void TearDown() override {
        host_session_free(&session);
        g_probe = nullptr;
        HostTest::TearDown();
    }
    void start(host_document_s* doc, VRect filter) {
        host_session_init(&session, probe_entry, doc, filter);
    }
    host_session_s session;
};

void set_in(FilterRecord* r, VRect rect, int16 lo, int16 hi, int16 pre, int16 post) {
    r->bigDocumentData->inRect32 = rect;
    r->inLoPlane = lo;
    r->inHiPlane = hi;
    r->inPreDummyPlanes = pre;
    r->inPostDummyPlanes = post;
}

void set_out(FilterRecord* r, VRect rect, int16 lo, int16 hi, int16 pre, int16 post) {
    r->bigDocumentData->outRect32 = rect;
    r->outLoPlane = lo;
    r->outHiPlane = hi;
    r->outPreDummyPlanes = pre;
    r->outPostDummyPlanes = post;
}

uint16_t sample(const host_document_s& d, int x, int y, int p) {
    return d.samples[(size_t(y) * d.width + x) * d.planes + p];
}

} // namespace

// ---- buffers ------------------------------------------------------------------------------

TEST_F(HostSession, ServesTheRequestedPlanesBetweenDummyPlanes) {
    host_document_s doc = make_document(4, 3, 4, 8);
    start(&doc, whole(doc));
    session.record.dummyPlaneValue = 0x5A;
    g_probe = [&](int16, FilterRecord* r, intptr_t*, int16* result) {
        r->bigDocumentData->PluginUsing32BitCoordinates = 1;
        set_in(r, VRect{1, 1, 3, 4}, 1, 2, 1, 2);
        ASSERT_EQ(r->advanceState(), 0);
        ASSERT_EQ(r->inRowBytes, 3 * 5);
        const uint8_t* in = static_cast<const uint8_t*>(r->inData);
        for (int y = 0; y < 2; y++)
            for (int x = 0; x < 3; x++) {
                const uint8_t* p = in + y * r->inRowBytes + x * 5;
                EXPECT_EQ(p[0], 0x5A);
                EXPECT_EQ(p[1], sample(doc, x + 1, y + 1, 1));
                EXPECT_EQ(p[2], sample(doc, x + 1, y + 1, 2));
                EXPECT_EQ(p[3], 0x5A);
                EXPECT_EQ(p[4], 0x5A);
            }
        EXPECT_EQ(r->outData, nullptr); // nothing asked for
        *result = 0;
    };
    EXPECT_EQ(host_call(&session, filterSelectorStart), 0);
    EXPECT_EQ(session.advance_calls, 1);
}

TEST_F(HostSession, SixteenBitSamplesTakeTwoNativeBytes) {
    host_document_s doc = make_document(2, 2, 3, 16);
    start(&doc, whole(doc));
    g_probe = [&](int16, FilterRecord* r, intptr_t*, int16*) {
        r->bigDocumentData->PluginUsing32BitCoordinates = 1;
        set_in(r, whole(doc), 0, 2, 0, 1);
        ASSERT_EQ(r->advanceState(), 0);
        ASSERT_EQ(r->inRowBytes, 2 * 4 * 2);
        const uint16_t* in = static_cast<const uint16_t*>(r->inData);
        EXPECT_EQ(in[4 + 1], sample(doc, 1, 0, 1));
        EXPECT_EQ(in[3], 255 * 257); // dummy plane, scaled to 16 bits
    };
    host_call(&session, filterSelectorStart);
}

TEST_F(HostSession, OutputReachesTheDocumentOnlyWhenTheCallSucceeds) {
    host_document_s doc = make_document(3, 2, 4, 8);
    const host_document_s before = doc;
    start(&doc, whole(doc));
    int16 answer = piErrCancelled;
    g_probe = [&](int16, FilterRecord* r, intptr_t*, int16* result) {
        r->bigDocumentData->PluginUsing32BitCoordinates = 1;
        set_out(r, VRect{0, 1, 2, 3}, 0, 3, 0, 0);
        ASSERT_EQ(r->advanceState(), 0);
        // The output buffer starts with the document's pixels.
        EXPECT_EQ(static_cast<uint8_t*>(r->outData)[4], sample(doc, 2, 0, 0));
        std::memset(r->outData, 7, size_t(r->outRowBytes) * 2);
        *result = answer;
    };
    EXPECT_EQ(host_call(&session, filterSelectorStart), piErrCancelled);
    EXPECT_EQ(doc.samples, before.samples);

    answer = 0;
    EXPECT_EQ(host_call(&session, filterSelectorStart), 0);
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 3; x++)
            for (int p = 0; p < 4; p++)
                EXPECT_EQ(sample(doc, x, y, p), x == 0 ? sample(before, x, y, p) : 7);
}

TEST_F(HostSession, DummyPlanesOfTheOutputAreDropped) {
    host_document_s doc = make_document(2, 1, 3, 8);
    start(&doc, whole(doc));
    g_probe = [&](int16, FilterRecord* r, intptr_t*, int16* result) {
        r->bigDocumentData->PluginUsing32BitCoordinates = 1;
        set_out(r, whole(doc), 0, 2, 0, 1);
        ASSERT_EQ(r->advanceState(), 0);
        uint8_t* out = static_cast<uint8_t*>(r->outData);
        for (int i = 0; i < 8; i++)
            out[i] = uint8_t(10 + i);
        *result = 0;
    };
    host_call(&session, filterSelectorStart);
    EXPECT_EQ(doc.samples, (std::vector<uint16_t>{10, 11, 12, 14, 15, 16}));
}

TEST_F(HostSession, RefusesRequestsItCannotServe) {
    host_document_s doc = make_document(4, 4, 3, 8);
    start(&doc, whole(doc));
    std::vector<OSErr> got;
    g_probe = [&](int16, FilterRecord* r, intptr_t*, int16*) {
        r->bigDocumentData->PluginUsing32BitCoordinates = 1;
        set_in(r, VRect{0, 0, 4, 5}, 0, 2, 0, 0); // one column too wide
        got.push_back(r->advanceState());
        set_in(r, VRect{-1, 0, 4, 4}, 0, 2, 0, 0);
        got.push_back(r->advanceState());
        set_in(r, whole(doc), 0, 3, 0, 0); // plane 3 of a three-plane document
        got.push_back(r->advanceState());
        set_in(r, whole(doc), 2, 1, 0, 0);
        got.push_back(r->advanceState());
        set_in(r, whole(doc), 0, 2, -1, 0);
        got.push_back(r->advanceState());
        set_in(r, whole(doc), 0, 2, 0, 0);
        r->inputRate = 0x00020000; // sampled input is not served
        got.push_back(r->advanceState());
        r->inputRate = 0x00010000;
        got.push_back(r->advanceState());
    };
    host_call(&session, filterSelectorStart);
    EXPECT_EQ(got, (std::vector<OSErr>{-50, -50, -50, -50, -50, -50, 0}));
}

TEST_F(HostSession, ReadsSixteenBitRectanglesUnlessThePluginUsesBigOnes) {
    host_document_s doc = make_document(4, 4, 4, 8);
    start(&doc, whole(doc));
    EXPECT_EQ(session.record.filterRect.right, 4);
    EXPECT_EQ(session.big.filterRect32.bottom, 4);
    g_probe = [&](int16, FilterRecord* r, intptr_t*, int16*) {
        r->inRect = Rect{1, 1, 2, 3};
        r->inLoPlane = 0;
        r->inHiPlane = 3;
        r->bigDocumentData->inRect32 = VRect{0, 0, 0, 0};
        ASSERT_EQ(r->advanceState(), 0);
        EXPECT_EQ(r->inRowBytes, 8);
        EXPECT_EQ(static_cast<uint8_t*>(r->inData)[0], sample(doc, 1, 1, 0));
    };
    host_call(&session, filterSelectorStart);
}

TEST_F(HostSession, FailingAdvanceStateServesNothing) {
    host_document_s doc = make_document(2, 2, 4, 8);
    start(&doc, whole(doc));
    session.advance_error = -9999;
    g_probe = [&](int16, FilterRecord* r, intptr_t*, int16*) {
        set_in(r, whole(doc), 0, 3, 0, 0);
        r->bigDocumentData->PluginUsing32BitCoordinates = 1;
        EXPECT_EQ(r->advanceState(), -9999);
        EXPECT_EQ(r->inData, nullptr);
    };
    host_call(&session, filterSelectorStart);
}

// ---- the run sequence ------------------------------------------------------------------------

TEST_F(HostSession, RunsContinueUntilTheRectanglesAreEmpty) {
    host_document_s doc = make_document(8, 8, 4, 8);
    start(&doc, whole(doc));
    std::vector<int16> calls;
    int rounds = 0;
    g_probe = [&](int16 selector, FilterRecord* r, intptr_t*, int16* result) {
        calls.push_back(selector);
        r->bigDocumentData->PluginUsing32BitCoordinates = 1;
        if (selector == filterSelectorStart || selector == filterSelectorContinue) {
            // Three bands of rows, one per call; the host serves each before it calls.
            if (selector == filterSelectorContinue) {
                EXPECT_NE(r->outData, nullptr);
                std::memset(r->outData, 200, size_t(r->outRowBytes) * 2);
            }
            VRect band = rounds < 3 ? VRect{rounds * 2, 0, rounds * 2 + 2, 8} : VRect{0, 0, 0, 0};
            set_out(r, band, 0, 3, 0, 0);
            rounds++;
        }
        *result = 0;
    };
    std::string message;
    EXPECT_EQ(host_run(&session, true, nullptr, &message), HOST_DONE) << message;
    EXPECT_EQ(calls, (std::vector<int16>{1, 2, 3, 4, 4, 4, 5}));
    for (int y = 0; y < 8; y++)
        EXPECT_EQ(sample(doc, 3, y, 1) == 200, y < 6) << "row " << y;
}

TEST_F(HostSession, StopsAtTheFirstFailingSelector) {
    host_document_s doc = make_document(2, 2, 4, 8);
    start(&doc, whole(doc));
    std::vector<int16> calls;
    int16 failing = filterSelectorPrepare, code = piErrMemory;
    g_probe = [&](int16 selector, FilterRecord*, intptr_t*, int16* result) {
        calls.push_back(selector);
        *result = selector == failing ? code : 0;
    };
    std::string message;
    EXPECT_EQ(host_run(&session, false, nullptr, &message), HOST_FAILED);
    EXPECT_EQ(calls, (std::vector<int16>{2}));
    EXPECT_EQ(message, "the plug-in failed at prepare with code -108 (out of memory)");

    calls.clear();
    failing = filterSelectorStart;
    code = piErrCancelled;
    EXPECT_EQ(host_run(&session, false, nullptr, &message), HOST_CANCELLED);
    EXPECT_EQ(calls, (std::vector<int16>{2, 3}));

    calls.clear();
    failing = filterSelectorFinish;
    code = piErrMissingHandles;
    EXPECT_EQ(host_run(&session, false, nullptr, &message), HOST_DONE);
    EXPECT_NE(message.find("could not record"), std::string::npos);
}

TEST_F(HostSession, HandsThePlayedDescriptorToStartAndKeepsTheRecordedOne) {
    host_document_s doc = make_document(2, 2, 4, 8);
    start(&doc, whole(doc));
    std::string played;
    g_probe = [&](int16 selector, FilterRecord* r, intptr_t*, int16* result) {
        PIDescriptorParameters* dp = r->descriptorParameters;
        if (selector == filterSelectorStart) {
            host_handle_bytes(dp->descriptor, &played);
            EXPECT_EQ(dp->playInfo, plugInDialogDontDisplay);
        }
        if (selector == filterSelectorFinish) {
            PIWriteDescriptor w = dp->writeDescriptorProcs->openWriteDescriptorProc();
            double v = 12.5;
            dp->writeDescriptorProcs->putUnitFloatProc(w, 0x416D6E74, 0x23507263, &v);
            r->handleProcs->disposeProc(dp->descriptor);
            dp->descriptor = nullptr;
            EXPECT_EQ(dp->writeDescriptorProcs->closeWriteDescriptorProc(w, &dp->descriptor), 0);
        }
        *result = 0;
    };
    host_desc_s play = parse_desc("ignS bool true\n");
    std::string message;
    ASSERT_EQ(host_run(&session, false, &play, &message), HOST_DONE);
    EXPECT_EQ(played, "ignS bool true\n");
    host_desc_s recorded;
    ASSERT_TRUE(host_recorded(&session, &recorded));
    EXPECT_EQ(host_desc_format(&recorded), "Amnt UntF #Prc 12.5\n");
}

// ---- descriptor read procedures
// ------------------------------------------------------------------

TEST(HostReadDescriptor, AWrongTypeFailsTheReadAndTheClose) {
    std::string text = "Amnt bool true\ndisP enum mooD moD2\n";
    Handle h = host_handle_from_bytes(text.data(), text.size());
    host_document_s doc = make_document(1, 1, 4, 8);
    host_session_s s;
    host_session_init(&s, probe_entry, &doc, whole(doc));
    const ReadDescriptorProcs* p = s.descriptors.readDescriptorProcs;
    DescriptorKeyID keys[] = {0x416D6E74, 0};
    PIReadDescriptor token = p->openReadDescriptorProc(h, keys);
    ASSERT_NE(token, nullptr);
    DescriptorKeyID key = 0;
    DescType type = 0;
    int32 flags = -1;
    ASSERT_TRUE(p->getKeyProc(token, &key, &type, &flags));
    EXPECT_EQ(key, 0x416D6E74u);
    EXPECT_EQ(type, typeBoolean);
    EXPECT_EQ(flags, 0);
    double value = -3;
    DescriptorUnitID unit = 0;
    EXPECT_EQ(p->getUnitFloatProc(token, &unit, &value), piErrWrongType);
    EXPECT_EQ(value, -3); // untouched
    ASSERT_TRUE(p->getKeyProc(token, &key, &type, &flags));
    DescriptorEnumID e = 0;
    EXPECT_EQ(p->getEnumeratedProc(token, &e), 0);
    EXPECT_EQ(e, 0x6D6F4432u);
    EXPECT_FALSE(p->getKeyProc(token, &key, &type, &flags));
    EXPECT_EQ(p->closeReadDescriptorProc(token), piErrWrongType);
    host_handle_procs()->disposeProc(h);
    host_session_free(&s);
}

TEST(HostReadDescriptor, UnreadableContentGivesNoToken) {
    std::string text = "Amnt UntF\n";
    Handle h = host_handle_from_bytes(text.data(), text.size());
    host_document_s doc = make_document(1, 1, 4, 8);
    host_session_s s;
    host_session_init(&s, probe_entry, &doc, whole(doc));
    DescriptorKeyID keys[] = {0};
    EXPECT_EQ(s.descriptors.readDescriptorProcs->openReadDescriptorProc(h, keys), nullptr);
    host_handle_procs()->disposeProc(h);
    host_session_free(&s);
}
