#include "host_test_util.h"

#include <tuple>

using namespace host_test;

TEST(HostDescriptor, ReadsEveryTypeAndSkipsComments) {
    host_desc_s d = parse_desc("# recorded by hand\n"
                               "\n"
                               "Amnt UntF #Prc 37.9\n"
                               "  disP\tenum mooD moD2\n"
                               "ignS bool true\n"
                               "0X0000002A long -12\n" // either case of the prefix
                               "#\n"
                               "Rdus doub 1e-3\r\n"
                               "#Prc bool false\n");
    ASSERT_EQ(d.entries.size(), 6u);
    EXPECT_EQ(std::tuple(d.entries[0].key, d.entries[0].type, d.entries[0].code),
              std::tuple(0x416D6E74u, DescType(typeUnitFloat), 0x23507263u));
    EXPECT_EQ(std::tuple(d.entries[1].type, d.entries[1].enumerated),
              std::tuple(DescType(typeEnumerated), 0x6D6F4432u));
    EXPECT_EQ(d.entries[3].key, 42u);
    EXPECT_EQ(host_desc_format(&d), "Amnt UntF #Prc 37.9\ndisP enum mooD moD2\nignS bool true\n"
                                    "0x0000002A long -12\nRdus doub 0.001\n#Prc bool false\n")
        << "a code may start with #; # alone starts a comment";
    EXPECT_EQ(host_code_format(0x20202020), "0x20202020");
}

TEST(HostDescriptor, FormatReadsBackExactly) {
    host_desc_s d;
    host_desc_put(&d, {0x416D6E74, typeUnitFloat, 0x23507263, 0.1 + 0.2, 0});
    host_desc_put(&d, {0x64697350, typeEnumerated, 0x6D6F6F44, 0, 0x6D6F4437});
    host_desc_put(&d, {0x00010203, typeBoolean, 0, 0, 0}); // unprintable key: hex form
    host_desc_put(&d, {0x6C6F6E67, typeInteger, 0, -2147483648.0, 0});
    host_desc_put(&d, {0x646F7562, typeFloat, 0, -1e300, 0});
    std::string text = host_desc_format(&d);
    EXPECT_NE(text.find("0x00010203 bool false\n"), std::string::npos) << text;
    EXPECT_NE(text.find("disP enum mooD moD7\n"), std::string::npos) << text;

    host_desc_s back = parse_desc(text.c_str());
    ASSERT_EQ(back.entries.size(), d.entries.size());
    for (size_t i = 0; i < d.entries.size(); i++) {
        const host_desc_entry_s &a = back.entries[i], &b = d.entries[i]; // numbers bit-exact
        EXPECT_EQ(std::tie(a.key, a.type, a.code, a.number, a.enumerated),
                  std::tie(b.key, b.type, b.code, b.number, b.enumerated))
            << i;
    }
}

TEST(HostDescriptor, PutReplacesTheValueUnderTheSameKey) {
    host_desc_s d;
    host_desc_put(&d, {1, typeBoolean, 0, 1, 0});
    host_desc_put(&d, {2, typeBoolean, 0, 1, 0});
    host_desc_put(&d, {1, typeFloat, 0, 3.5, 0});
    EXPECT_EQ(host_desc_format(&d), "0x00000001 doub 3.5\n0x00000002 bool true\n");
    EXPECT_EQ(host_desc_find(&d, 1)->number, 3.5);
    EXPECT_EQ(host_desc_find(&d, 3), nullptr);
}

TEST(HostDescriptor, RefusesBrokenTextWithItsLine) {
    struct {
        const char* text;
        const char* says;
    } cases[] = {
        {"Amnt UntF #Prc\n", "line 1: 'UntF' takes 2 values, found 1"},
        {"\nAmnt text hello\n", "line 2: unknown type 'text'"},
        {"Amount bool true\n", "line 1: bad key 'Amount'"},
        {"Amnt UntF #Prc 1e999\n", "line 1: bad number"},
        {"Amnt UntF #Prc nan\n", "line 1: bad number"},
        {"ignS bool yes\n", "line 1: bad boolean"},
        {"Amnt long 2147483648\n", "line 1: bad integer"},
        {"Amnt long 3.5\n", "line 1: bad integer"},
        {"disP enum mooD 0x1234\n", "line 1: bad enumeration"},
        {"Amnt bool true\n#\nAmnt bool false\n", "line 3: key 'Amnt' appears twice"},
        {"Amnt\n", "line 1: no type"},
    };
    for (const auto& c : cases) {
        host_desc_s d;
        d.entries.push_back({});
        std::string error;
        EXPECT_FALSE(host_desc_parse(c.text, &d, &error)) << c.text;
        EXPECT_EQ(error.rfind(c.says, 0), 0u) << "'" << error << "' for " << c.text;
        EXPECT_EQ(d.entries.size(), 1u) << "a failed parse leaves the output alone";
    }
    host_desc_s d;
    std::string error;
    EXPECT_FALSE(host_desc_parse(std::string("Amnt bool true\n\0", 16), &d, &error));
    EXPECT_EQ(error, "line 2: not text");
    EXPECT_FALSE(host_desc_parse(std::string("Amnt UntF #Prc 5\0007\n", 20), &d, &error));
    EXPECT_EQ(error, "line 1: not text") << "a NUL inside a number";
    EXPECT_TRUE(host_desc_parse("Amnt UntF #Prc 5\r\nignS bool true\r\n", &d, &error));
    EXPECT_EQ(host_desc_format(&d), "Amnt UntF #Prc 5\nignS bool true\n");
}
