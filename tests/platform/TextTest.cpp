// Conversion between Windows-1252 and UTF-8, checked against the C library's iconv.
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <iconv.h>

namespace quillock::platform {
namespace {

// UTF-8 of one Windows-1252 byte by iconv; nothing for the bytes iconv leaves undefined.
std::optional<std::string> IconvUtf8(unsigned char byte) {
    const iconv_t converter = ::iconv_open("UTF-8", "CP1252");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        ADD_FAILURE() << "iconv has no CP1252";
        return std::nullopt;
    }
    char input[1] = {static_cast<char>(byte)};
    char output[8] = {};
    char* in = input;
    char* out = output;
    std::size_t inLeft = 1;
    std::size_t outLeft = sizeof output;
    const std::size_t result = ::iconv(converter, &in, &inLeft, &out, &outLeft);
    ::iconv_close(converter);
    if (result == static_cast<std::size_t>(-1)) {
        return std::nullopt;
    }
    return std::string(output, out);
}

TEST(TextTest, EveryByteAgreesWithIconv) {
    int compared = 0;
    for (int byte = 0; byte < 256; ++byte) {
        const auto expected = IconvUtf8(static_cast<unsigned char>(byte));
        if (!expected) {
            continue;
        }
        EXPECT_EQ(Cp1252ToUtf8(std::string(1, static_cast<char>(byte))), *expected) << "byte " << byte;
        ++compared;
    }
    EXPECT_GE(compared, 251);
}

TEST(TextTest, HighBytes) {
    EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC"); // euro sign
    EXPECT_EQ(Cp1252ToUtf8("\x9F"), "\xC5\xB8");     // Y with diaeresis
    EXPECT_EQ(Cp1252ToUtf8("\xAE"), "\xC2\xAE");     // registered sign
    EXPECT_EQ(Cp1252ToUtf8("\xFF"), "\xC3\xBF");
    // The unassigned bytes stand for the C1 controls of the same number.
    for (const unsigned char byte : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
        const std::string utf8 = Cp1252ToUtf8(std::string(1, static_cast<char>(byte)));
        EXPECT_EQ(utf8, std::string("\xC2") + static_cast<char>(byte));
    }
}

TEST(TextTest, EveryByteRoundTrips) {
    std::string all;
    for (int byte = 0; byte < 256; ++byte) {
        all.push_back(static_cast<char>(byte));
    }
    EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
    EXPECT_EQ(Utf8ToCp1252(""), "");
    EXPECT_EQ(Utf8ToCp1252("Arbolix\xC2\xAE Encrypt"), "Arbolix\xAE Encrypt");
}

TEST(TextTest, InvalidUtf8IsRefused) {
    for (const char* invalid : {
             "\x80",             // continuation byte without a lead
             "a\xC3",            // truncated two-byte form
             "\xE2\x82",         // truncated three-byte form
             "\xC3\x28",         // lead followed by a non-continuation
             "\xC0\xAF",         // overlong '/'
             "\xE0\x80\xAF",     // overlong three-byte form
             "\xED\xA0\x80",     // surrogate
             "\xF4\x90\x80\x80", // beyond U+10FFFF
             "\xF8\x88\x80\x80\x80",
             "\xFF",
         }) {
        EXPECT_FALSE(Utf8ToCp1252(invalid).has_value()) << ::testing::PrintToString(std::string(invalid));
        EXPECT_FALSE(IsValidUtf8(invalid)) << ::testing::PrintToString(std::string(invalid));
        EXPECT_FALSE(IsValidUtf8(std::string("ok ") + invalid + " ok"))
            << ::testing::PrintToString(std::string(invalid));
    }
    for (const char* valid : {"", "plain", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF"}) {
        EXPECT_TRUE(IsValidUtf8(valid)) << ::testing::PrintToString(std::string(valid));
    }
}

// Messages are shown as UTF-8 when they are UTF-8 (a quoted path), otherwise
// read as Windows-1252; both front ends show them with "\n" line ends.
TEST(TextTest, MessagesBecomeUtf8DisplayText) {
    EXPECT_EQ(MessageToUtf8("Arbolix\xAE Encrypt"), "Arbolix\xC2\xAE Encrypt");
    EXPECT_EQ(MessageToUtf8("Unable to open \"/tmp/caf\xC3\xA9.qlx\""), "Unable to open \"/tmp/caf\xC3\xA9.qlx\"");
    EXPECT_EQ(MessageToUtf8("first\r\nsecond\r\n\r\nthird"), "first\nsecond\n\nthird");
    EXPECT_EQ(MessageToUtf8("a\rb"), "ab");
    // One byte that is not UTF-8 makes the whole message Windows-1252.
    EXPECT_EQ(MessageToUtf8("caf\xC3\xA9 \xAE"), "caf\xC3\x83\xC2\xA9 \xC2\xAE");
    EXPECT_EQ(MessageToUtf8("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(MessageToUtf8(""), "");
}

TEST(TextTest, UnrepresentableCharactersAreRefused) {
    for (const char* unrepresentable : {
             "\xC4\x80",         // U+0100
             "\xC2\x80",         // U+0080: byte 0x80 is the euro sign, not this control
             "\xC2\x9F",         // U+009F
             "\xE4\xB8\xAD",     // U+4E2D
             "\xF0\x9F\x98\x80", // U+1F600, a valid four-byte form
         }) {
        EXPECT_FALSE(Utf8ToCp1252(unrepresentable).has_value())
            << ::testing::PrintToString(std::string(unrepresentable));
    }
    EXPECT_EQ(Utf8ToCp1252("\xC2\x81"), "\x81");
    EXPECT_EQ(Utf8ToCp1252("\xE2\x80\x9A"), "\x82");
}

TEST(TextTest, NamesThatAreNotUtf8AreShownWithTheirBytesEscaped) {
    EXPECT_EQ(PrintableName("diary.qlx"), "diary.qlx");
    EXPECT_EQ(PrintableName("\xc3\xa9t\xc3\xa9 a\\b.qlx"), "\xc3\xa9t\xc3\xa9 a\\b.qlx") << "valid UTF-8 stays";
    EXPECT_EQ(PrintableName("\xe9t\xe9.qlx"), "\\xe9t\\xe9.qlx");
    // Valid characters beside the bad bytes stay; a backslash is doubled.
    EXPECT_EQ(PrintableName("\xc3\xa9\\\xff"), "\xc3\xa9\\\\\\xff");
    EXPECT_EQ(PrintableName("\xc3"), "\\xc3") << "a character cut short";
}

} // namespace
} // namespace quillock::platform
