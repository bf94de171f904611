// The host's handles, suites, registry file, browser hand-off and module loading.

#include "host_test_util.h"

#include <cmath>

using namespace host_test;

namespace {

template <typename T> const T* acquire(const char* name, int32 version) {
    const void* table = nullptr;
    EXPECT_EQ(host_basic_suite()->AcquireSuite(name, version, &table), 0) << name;
    return static_cast<const T*>(table);
}

} // namespace

TEST(HostHandles, LocksNestUnlockStopsAtZeroAndFailuresCanBeInjected) {
    HandleProcs* p = host_handle_procs();
    size_t live = host_handle_count();
    Handle h = p->newProc(6);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(p->getSizeProc(h), 6);
    Ptr a = p->lockProc(h, true);
    Ptr b = p->lockProc(h, false);
    EXPECT_EQ(a, b);
    EXPECT_EQ(host_handle_locks(h), 2);
    EXPECT_EQ(a[0] | a[5], 0) << "new blocks are zeroed";
    p->unlockProc(h);
    p->unlockProc(h);
    p->unlockProc(h);
    EXPECT_EQ(host_handle_locks(h), 0);
    EXPECT_EQ(host_handle_count(), live + 1);
    p->disposeProc(h);
    EXPECT_EQ(host_handle_count(), live);
    EXPECT_FALSE(host_handle_is_live(h));
    EXPECT_EQ(p->lockProc(h, true), nullptr) << "a disposed handle cannot be locked";
    p->disposeProc(h); // reported, ignored
    p->disposeProc(nullptr);
    EXPECT_EQ(p->newProc(-1), nullptr);

    host_handle_fail_after(1); // lets one through
    Handle first = p->newProc(4);
    Handle second = p->newProc(4);
    host_handle_fail_after(-1);
    Handle third = p->newProc(4);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    p->disposeProc(first);
    p->disposeProc(third);
}

TEST(HostSuites, ServesItsSuitesAndCountsAcquisitions) {
    SPBasicSuite* basic = host_basic_suite();
    int before = host_suite_outstanding();
    const void* table = nullptr;
    EXPECT_EQ(basic->AcquireSuite(kPSActionDescriptorSuite, 5, &table), 0);
    EXPECT_NE(table, nullptr);
    EXPECT_EQ(host_suite_outstanding(), before + 1);
    EXPECT_EQ(basic->ReleaseSuite(kPSActionDescriptorSuite, 5), 0);
    EXPECT_EQ(host_suite_outstanding(), before);

    for (auto [name, version] :
         {std::pair{kPSActionDescriptorSuite, 3}, {"No Such Suite", 1}, {kASZStringSuite, 1}}) {
        table = &before;
        EXPECT_EQ(basic->AcquireSuite(name, version, &table), PI_SP_SUITE_NOT_FOUND);
        EXPECT_EQ(table, nullptr);
    }
    EXPECT_NE(basic->ReleaseSuite("No Such Suite", 1), 0);
    EXPECT_EQ(host_suite_outstanding(), before);
}

TEST(HostSuites, ActionDescriptorsReportMissingKeysAndWrongTypes) {
    auto* ad = acquire<PSActionDescriptorProcs>(kPSActionDescriptorSuite, 5);
    PIActionDescriptor d = nullptr;
    ASSERT_EQ(ad->Make(&d), 0);
    EXPECT_EQ(ad->PutUnitFloat(d, 0x416D6E74, 0x23507263, 37.9), 0);
    EXPECT_EQ(ad->PutBoolean(d, 0x69676E53, 0), 0);
    EXPECT_EQ(ad->PutUnitFloat(d, 1, 2, std::nan("")), PI_SP_BAD_ARGUMENT);
    Boolean has = 1, flag = 1;
    EXPECT_EQ(ad->HasKey(d, 0x64697350, &has), 0);
    EXPECT_FALSE(has);
    DescType type = 0;
    EXPECT_EQ(ad->GetType(d, 0x69676E53, &type), 0);
    EXPECT_EQ(type, typeBoolean);
    EXPECT_EQ(ad->GetBoolean(d, 0x69676E53, &flag), 0);
    EXPECT_EQ(flag, 0);
    DescriptorEnumTypeID et = 7;
    DescriptorEnumID ev = 7;
    EXPECT_EQ(ad->GetEnumerated(d, 0x64697350, &et, &ev), PI_SP_NOT_FOUND);
    EXPECT_EQ(ad->GetEnumerated(d, 0x416D6E74, &et, &ev), PI_SP_WRONG_TYPE);
    EXPECT_EQ(et, 7u);
    double v = 0;
    DescriptorUnitID unit = 0;
    EXPECT_EQ(ad->GetUnitFloat(d, 0x416D6E74, &unit, &v), 0);
    EXPECT_EQ(v, 37.9);
    EXPECT_EQ(unit, 0x23507263u);
    EXPECT_EQ(ad->Free(d), 0);
    EXPECT_EQ(ad->Free(d), PI_SP_BAD_ARGUMENT) << "a freed descriptor is no longer known";
    host_basic_suite()->ReleaseSuite(kPSActionDescriptorSuite, 5);
}

class HostRegistry : public HostTest {
protected:
    void TearDown() override {
        host_basic_suite()->ReleaseSuite(kPSActionDescriptorSuite, 5);
        host_basic_suite()->ReleaseSuite(kPSDescriptorRegistrySuite, 1);
    }
    PIActionDescriptor make(double amount) {
        PIActionDescriptor d = nullptr;
        ad->Make(&d);
        ad->PutUnitFloat(d, 0x416D6E74, 0x23507263, amount);
        return d;
    }
    double get_amount(const char* key) {
        PIActionDescriptor d = nullptr;
        EXPECT_EQ(reg->Get(key, &d), 0);
        if (!d)
            return -1;
        double v = -1;
        DescriptorUnitID unit;
        ad->GetUnitFloat(d, 0x416D6E74, &unit, &v);
        ad->Free(d);
        return v;
    }
    const PSActionDescriptorProcs* ad =
        acquire<PSActionDescriptorProcs>(kPSActionDescriptorSuite, 5);
    const PSDescriptorRegistryProcs* reg =
        acquire<PSDescriptorRegistryProcs>(kPSDescriptorRegistrySuite, 1);
};

TEST_F(HostRegistry, PersistentEntriesLiveInTheConfigFileTransientOnesInMemory) {
    std::string path;
    ASSERT_TRUE(host_registry_path(&path));
    EXPECT_EQ(fs::path(path), registry_path());
    EXPECT_EQ(get_amount("k1"), -1) << "no file: nothing stored, no error";

    PIActionDescriptor d = make(7);
    ASSERT_EQ(reg->Register("transient", d, false), 0);
    EXPECT_EQ(get_amount("transient"), 7);
    EXPECT_FALSE(fs::exists(registry_path()));
    EXPECT_EQ(reg->Erase("transient"), 0);
    EXPECT_EQ(get_amount("transient"), -1);

    ad->PutUnitFloat(d, 0x416D6E74, 0x23507263, 42);
    ASSERT_EQ(reg->Register("k1", d, true), 0);
    ad->PutUnitFloat(d, 0x416D6E74, 0x23507263, 43);
    ASSERT_EQ(reg->Register("k2", d, true), 0);
    ad->Free(d);
    const std::string text = read_text(registry_path());
    EXPECT_EQ(text.substr(text.find("\n[") + 1),
              "[k1]\nAmnt UntF #Prc 42\n[k2]\nAmnt UntF #Prc 43\n");
    EXPECT_EQ(get_amount("k1"), 42);
    EXPECT_EQ(get_amount("k2"), 43);
    EXPECT_EQ(fs::status(registry_path().parent_path()).permissions() & fs::perms::others_all,
              fs::perms::none);

    EXPECT_EQ(reg->Erase("k1"), 0);
    EXPECT_EQ(get_amount("k1"), -1);
    EXPECT_EQ(get_amount("k2"), 43);
    size_t files = 0;
    for (auto& e : fs::directory_iterator(registry_path().parent_path()))
        files += e.is_regular_file();
    EXPECT_EQ(files, 1u) << "no temporary files are left behind";
}

TEST_F(HostRegistry, ADamagedFileIsReportedAndNeverOverwritten) {
    fs::create_directories(registry_path().parent_path());
    // The action files' rules hold here too.
    const struct {
        std::string text, says;
    } cases[] = {
        {"[k1]\nAmnt UntF #Prc 42\nthis is not a value\n", "line 3: unknown type 'is'"},
        {std::string("[k1]\nAmnt UntF #Prc 4\0002\n", 24), "line 2: not text"},
        {"[k1]\nAmnt UntF #Prc 42\nAmnt UntF #Prc 43\n", "line 3: key 'Amnt' appears twice"},
        {"[k1]\nAmnt UntF #Prc 42\n[k1]\n", "line 3: section [k1] appears twice"},
        {"Amnt UntF #Prc 42\n[k1]\n", "line 1: value outside a [key] section"},
        {"[]\n", "line 1: bad section"},
        {"[k1]\nAmnt \x1b]0;x\x07 1\n", "line 2: unknown type '\\x1B]0;x\\x07'"},
    };
    for (const auto& c : cases) {
        write_text(registry_path(), c.text);
        PIActionDescriptor got = reinterpret_cast<PIActionDescriptor>(1);
        testing::internal::CaptureStderr();
        EXPECT_EQ(reg->Get("k1", &got), PI_SP_IO_ERROR) << c.says;
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(c.says), std::string::npos) << said;
        EXPECT_EQ(said.find('\x1b'), std::string::npos) << "escaped: " << said;
        EXPECT_EQ(got, nullptr);
        PIActionDescriptor d = make(1);
        testing::internal::CaptureStderr();
        EXPECT_EQ(reg->Register("k1", d, true), PI_SP_IO_ERROR);
        testing::internal::GetCapturedStderr();
        ad->Free(d);
        EXPECT_EQ(read_text(registry_path()), c.text);
    }
    write_text(registry_path(), "# comment\r\n[k1]\r\nAmnt UntF #Prc 42\r\n");
    EXPECT_EQ(get_amount("k1"), 42) << "CRLF lines read as LF ones";
}

TEST_F(HostRegistry, RefusesKeysThatCannotBeStored) {
    PIActionDescriptor d = make(1);
    for (const char* key : {"", "a]b", "line\nbreak"})
        EXPECT_EQ(reg->Register(key, d, true), PI_SP_BAD_ARGUMENT) << key;
    EXPECT_EQ(reg->Register("ok", reinterpret_cast<PIActionDescriptor>(&d), true),
              PI_SP_BAD_ARGUMENT)
        << "not a descriptor of this host";
    ad->Free(d);
    EXPECT_FALSE(fs::exists(registry_path()));
}

TEST_F(HostRegistry, FallsBackToTheHomeConfigFolder) {
    ScopedEnv no_config("XDG_CONFIG_HOME", nullptr);
    ScopedEnv home("HOME", dir.c_str());
    std::string path;
    ASSERT_TRUE(host_registry_path(&path));
    EXPECT_EQ(fs::path(path), dir / ".config" / "spotweave" / "registry");
    ScopedEnv relative("XDG_CONFIG_HOME", "relative/config");
    ASSERT_TRUE(host_registry_path(&path));
    EXPECT_EQ(fs::path(path), dir / ".config" / "spotweave" / "registry");
}

TEST(HostStrings, ConvertUtf16ToUtf8) {
    auto* zs = acquire<ASZStringSuite2>(kASZStringSuite, 2);
    // Two, three (from U+0800 on) and four bytes, and a lone low surrogate.
    const ASUnicode units[] = {u'a', 0x00E9, 0x0800, 0x20AC, 0xD83D, 0xDE00, 0xDC00, u'z'};
    ASZString s = nullptr;
    ASSERT_EQ(zs->MakeFromUnicode(units, 8, &s), 0);
    const std::string want =
        "a\xC3\xA9\xE0\xA0\x80\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBDz";
    ASSERT_EQ(zs->LengthAsCString(s), want.size() + 1);
    // No room for the terminator: refused, nothing written.
    std::vector<char> small(want.size(), 'x');
    EXPECT_NE(zs->AsCString(s, small.data(), uint32(small.size())), 0);
    EXPECT_EQ(small, std::vector<char>(want.size(), 'x'));
    std::vector<char> buffer(want.size() + 1, 'x');
    ASSERT_EQ(zs->AsCString(s, buffer.data(), uint32(buffer.size())), 0);
    EXPECT_EQ(std::string(buffer.data()), want);
    EXPECT_EQ(zs->AddRef(s), 0);
    EXPECT_EQ(zs->Release(s), 0);
    EXPECT_EQ(zs->LengthAsCString(s), want.size() + 1) << "one reference is left";
    EXPECT_EQ(zs->Release(s), 0);
    EXPECT_EQ(zs->LengthAsCString(s), 0u);
    EXPECT_NE(zs->Release(s), 0);
    host_basic_suite()->ReleaseSuite(kASZStringSuite, 2);
}

TEST_F(HostTest, BrowseUrlHandsTheAddressToXdgOpen) {
    script("xdg-open", "printf '%s\\n' \"$@\" >> \"" + (dir / "opened").string() + "\"\n");
    bin_on_path(false);
    auto* fl = acquire<PSGetFileListSuite4>(kPSGetFileListSuite, 4);
    EXPECT_EQ(fl->BrowseUrl("file:///usr/share/doc/a%20b.md"), 0);
    EXPECT_EQ(fl->BrowseUrl("--help"), PI_SP_BAD_ARGUMENT);
    EXPECT_EQ(fl->BrowseUrl("file:///x\nrm"), PI_SP_BAD_ARGUMENT);
    EXPECT_EQ(fl->BrowseUrl(nullptr), PI_SP_BAD_ARGUMENT);
    EXPECT_EQ(read_text(dir / "opened"), "file:///usr/share/doc/a%20b.md\n");

    script("xdg-open", "exit 4\n");
    EXPECT_EQ(fl->BrowseUrl("file:///x"), PI_SP_IO_ERROR);
    fs::remove(dir / "bin" / "xdg-open");
    EXPECT_EQ(fl->BrowseUrl("file:///x"), PI_SP_IO_ERROR);
    host_basic_suite()->ReleaseSuite(kPSGetFileListSuite, 4);
}

TEST(HostDocument, SixteenBitDocumentsRoundTripTheirEightBitSource) {
    gr_image_s* image = gr_image_create(3, 2);
    uint32_t* px = gr_image_pixels_lock(image);
    for (int i = 0; i < 6; i++)
        px[i] = 0x80000000u | uint32_t(i * 0x2A1F13);
    gr_image_pixels_unlock(image, true);

    host_document_s doc;
    ASSERT_TRUE(host_document_from_image(image, 4, 16, &doc));
    EXPECT_EQ(doc.samples[4 * 5 + 0], ((5 * 0x2A1F13) >> 16 & 0xFF) * 257);
    EXPECT_EQ(doc.samples[3], 0x80 * 257);
    gr_image_s* back = host_document_to_image(&doc);
    EXPECT_EQ(std::vector<uint32_t>(back->pixels, back->pixels + 6),
              std::vector<uint32_t>(image->pixels, image->pixels + 6));

    ASSERT_TRUE(host_document_from_image(image, 3, 8, &doc));
    gr_image_s* opaque = host_document_to_image(&doc);
    EXPECT_EQ(opaque->pixels[5], image->pixels[5] | 0xFF000000u);
    EXPECT_FALSE(host_document_from_image(image, 2, 8, &doc));
    EXPECT_FALSE(host_document_from_image(image, 4, 32, &doc));
    gr_image_release(opaque);
    gr_image_release(back);
    gr_image_release(image);
}

TEST_F(HostTest, ModuleLoadingSaysWhatIsWrong) {
    host_module_s module;
    std::string error;
    const std::string missing = (dir / "none.so").string();
    EXPECT_FALSE(host_module_open(missing.c_str(), &module, &error));
    EXPECT_EQ(error, "cannot open plug-in '" + missing + "': No such file or directory");

    EXPECT_FALSE(host_module_open(dir.c_str(), &module, &error));
    EXPECT_EQ(error, "cannot open plug-in '" + dir.string() + "': it is a folder");
    EXPECT_EQ(module.library, nullptr);

    ASSERT_TRUE(host_module_open(SW_MODULE_PATH, &module, &error)) << error;
    EXPECT_NE(module.entry, nullptr);
    host_module_close(&module);
    EXPECT_EQ(module.library, nullptr);
}
