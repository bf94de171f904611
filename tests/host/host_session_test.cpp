// The host's buffers, run sequence and descriptors, driven by a probe entry instead of a plug-in.

#include "host_test_util.h"

#include <cstring>
#include <functional>

using namespace host_test;

namespace {

// Forwards every call to the test's function, with 32-bit rectangles and success preset.
std::function<void(int16, FilterRecord*, int16*)> g_probe;

void probe_entry(int16 selector, FilterRecord* record, intptr_t*, int16* result) {
    record->bigDocumentData->PluginUsing32BitCoordinates = 1;
    *result = 0;
    g_probe(selector, record, result);
}

class HostSession : public HostTest {
protected:
    void TearDown() override {
        host_session_free(&session);
        g_probe = nullptr;
    }
    void start(int32_t w, int32_t h, int16_t planes, int16_t depth = 8) {
        doc = make_document(w, h, planes, depth);
        before = doc;
        host_session_init(&session, probe_entry, &doc, whole(doc));
    }
    uint16_t sample(const host_document_s& d, int x, int y, int p) const {
        return d.samples[(size_t(y) * d.width + x) * d.planes + p];
    }
    host_document_s doc, before;
    host_session_s session;
};

void set_in(FilterRecord* r, VRect rect, int16 lo, int16 hi, int16 pre = 0, int16 post = 0) {
    r->bigDocumentData->inRect32 = rect;
    r->inLoPlane = lo;
    r->inHiPlane = hi;
    r->inPreDummyPlanes = pre;
    r->inPostDummyPlanes = post;
}

void set_out(FilterRecord* r, VRect rect, int16 lo, int16 hi, int16 pre = 0, int16 post = 0) {
    r->bigDocumentData->outRect32 = rect;
    r->outLoPlane = lo;
    r->outHiPlane = hi;
    r->outPreDummyPlanes = pre;
    r->outPostDummyPlanes = post;
}

} // namespace

TEST_F(HostSession, ServesTheRequestedPlanesBetweenDummyPlanes) {
    start(4, 3, 4);
    session.record.dummyPlaneValue = 0x5A;
    g_probe = [&](int16, FilterRecord* r, int16*) {
        set_in(r, VRect{1, 1, 3, 4}, 1, 2, 1, 2);
        ASSERT_EQ(r->advanceState(), 0);
        ASSERT_EQ(r->inRowBytes, 3 * 5);
        const uint8_t* in = static_cast<const uint8_t*>(r->inData);
        for (int y = 0; y < 2; y++)
            for (int x = 0; x < 3; x++) {
                const uint8_t* p = in + y * r->inRowBytes + x * 5;
                EXPECT_EQ(std::vector<int>(p, p + 5),
                          (std::vector<int>{0x5A, sample(doc, x + 1, y + 1, 1),
                                            sample(doc, x + 1, y + 1, 2), 0x5A, 0x5A}));
            }
        EXPECT_EQ(r->outData, nullptr); // nothing asked for
    };
    EXPECT_EQ(host_call(&session, filterSelectorStart), 0);
    EXPECT_EQ(session.advance_calls, 1);
}

TEST_F(HostSession, SixteenBitSamplesTakeTwoNativeBytes) {
    start(2, 2, 3, 16);
    g_probe = [&](int16, FilterRecord* r, int16*) {
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
    start(3, 2, 4);
    int16 answer = piErrCancelled;
    g_probe = [&](int16, FilterRecord* r, int16* result) {
        set_out(r, VRect{0, 1, 2, 3}, 0, 3);
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

TEST_F(HostSession, RefusesRequestsItCannotServeAndServesNothingOnAFailure) {
    start(4, 4, 3);
    std::vector<OSErr> got;
    g_probe = [&](int16, FilterRecord* r, int16*) {
        set_in(r, VRect{0, 0, 4, 5}, 0, 2); // one column too wide
        got.push_back(r->advanceState());
        set_in(r, VRect{-1, 0, 4, 4}, 0, 2);
        got.push_back(r->advanceState());
        set_in(r, whole(doc), 0, 3); // plane 3 of a three-plane document
        got.push_back(r->advanceState());
        set_in(r, whole(doc), 2, 1);
        got.push_back(r->advanceState());
        set_in(r, whole(doc), 0, 2, -1, 0);
        got.push_back(r->advanceState());
        set_in(r, whole(doc), 0, 2);
        r->inputRate = 0x00020000; // sampled input is not served
        got.push_back(r->advanceState());
        r->inputRate = 0x00010000;
        got.push_back(r->advanceState());
        session.advance_error = -9999;
        got.push_back(r->advanceState());
        EXPECT_EQ(r->inData, nullptr);
    };
    host_call(&session, filterSelectorStart);
    EXPECT_EQ(got, (std::vector<OSErr>{-50, -50, -50, -50, -50, -50, 0, -9999}));
}

TEST_F(HostSession, ReadsSixteenBitRectanglesUnlessThePluginUsesBigOnes) {
    start(4, 4, 4);
    EXPECT_EQ(session.record.filterRect.right, 4);
    EXPECT_EQ(session.big.filterRect32.bottom, 4);
    g_probe = [&](int16, FilterRecord* r, int16*) {
        r->bigDocumentData->PluginUsing32BitCoordinates = 0;
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

TEST_F(HostSession, RunsContinueUntilTheRectanglesAreEmpty) {
    start(8, 8, 4);
    std::vector<int16> calls;
    int rounds = 0;
    g_probe = [&](int16 selector, FilterRecord* r, int16*) {
        calls.push_back(selector);
        if (selector == filterSelectorStart || selector == filterSelectorContinue) {
            // Three bands of rows, one per call; the host serves each before it calls.
            if (selector == filterSelectorContinue) {
                EXPECT_NE(r->outData, nullptr);
                std::memset(r->outData, 200, size_t(r->outRowBytes) * 2);
            }
            set_out(r, rounds < 3 ? VRect{rounds * 2, 0, rounds * 2 + 2, 8} : VRect{}, 0, 3);
            rounds++;
        }
    };
    std::string message;
    EXPECT_EQ(host_run(&session, true, nullptr, &message), HOST_DONE) << message;
    EXPECT_EQ(calls, (std::vector<int16>{1, 2, 3, 4, 4, 4, 5}));
    for (int y = 0; y < 8; y++)
        EXPECT_EQ(sample(doc, 3, y, 1) == 200, y < 6) << "row " << y;
}

TEST_F(HostSession, StopsAtTheFirstFailingSelector) {
    start(2, 2, 4);
    std::vector<int16> calls;
    int16 failing = 0, code = 0;
    g_probe = [&](int16 selector, FilterRecord*, int16* result) {
        calls.push_back(selector);
        *result = selector == failing ? code : 0;
    };
    const struct {
        int16 failing, code;
        host_outcome_t outcome;
        std::vector<int16> calls;
        const char* message;
    } cases[] = {
        {filterSelectorPrepare,
         piErrMemory,
         HOST_FAILED,
         {2},
         "the plug-in failed at prepare with code -108 (out of memory)"},
        {filterSelectorStart, piErrCancelled, HOST_CANCELLED, {2, 3}, ""},
        {filterSelectorFinish, piErrMissingHandles, HOST_DONE, {2, 3, 5}, "could not record"},
    };
    for (const auto& c : cases) {
        calls.clear();
        failing = c.failing;
        code = c.code;
        std::string message;
        EXPECT_EQ(host_run(&session, false, nullptr, &message), c.outcome) << c.failing;
        EXPECT_EQ(calls, c.calls) << c.failing;
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
    }
}

TEST_F(HostSession, HandsThePlayedDescriptorToStartAndKeepsTheRecordedOne) {
    start(2, 2, 4);
    std::string played;
    g_probe = [&](int16 selector, FilterRecord* r, int16*) {
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
    };
    host_desc_s play = parse_desc("ignS bool true\n");
    std::string message;
    ASSERT_EQ(host_run(&session, false, &play, &message), HOST_DONE);
    EXPECT_EQ(played, "ignS bool true\n");
    host_desc_s recorded;
    ASSERT_TRUE(host_recorded(&session, &recorded));
    EXPECT_EQ(host_desc_format(&recorded), "Amnt UntF #Prc 12.5\n");
}

TEST_F(HostSession, AWrongTypeFailsTheReadAndTheCloseAndUnreadableTextGivesNoToken) {
    start(1, 1, 4);
    const ReadDescriptorProcs* p = session.descriptors.readDescriptorProcs;
    DescriptorKeyID keys[] = {0x416D6E74, 0};
    const std::string broken = "Amnt UntF\n";
    Handle bad = host_handle_from_bytes(broken.data(), broken.size());
    EXPECT_EQ(p->openReadDescriptorProc(bad, keys), nullptr);
    host_handle_procs()->disposeProc(bad);

    const std::string text = "Amnt bool true\ndisP enum mooD moD2\n";
    Handle h = host_handle_from_bytes(text.data(), text.size());
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
}
