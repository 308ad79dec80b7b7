// The code-page calls, stated as the Win32 behaviour they stand in for.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "win32.h"
#include "zp_codepage.h"

namespace {

using Wide = std::u16string;

class PosixCodePage : public ::testing::Test {
  protected:
    void TearDown() override { ZpSetOemCodePage(437); }
};

Wide ToWide(UINT codePage, const std::string& text) {
    WCHAR buffer[64];
    int n =
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), buffer, 64);
    return Wide(buffer, n);
}

std::string FromWide(UINT codePage, const Wide& wide, const CHAR* defaultChar = nullptr,
                     BOOL* usedDefault = nullptr) {
    CHAR buffer[64];
    int n = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), buffer, 64,
                                defaultChar, usedDefault);
    return std::string(buffer, n);
}

TEST_F(PosixCodePage, BytesBecomeTheCharactersOfTheirPage) {
    struct {
        UINT codePage;
        std::string text;
        Wide wide;
    } cases[] = {
        {437, "\x82\x90", u"\u00e9\u00c9"},
        {850, "\x82", u"\u00e9"},
        {866, "\x80\xa6", u"\u0410\u0436"},
        {1252, "\x80\xe9", u"\u20ac\u00e9"},
        {1252, "\x81", u"\u0081"}, // undefined in 1252: Windows keeps the number
        {CP_ACP, "\xe9", u"\u00e9"},
        {CP_OEMCP, "\x82", u"\u00e9"},
        {65001, "\xc3\xa9\xe2\x82\xac", u"\u00e9\u20ac"},
        {65001, "\xf0\x9f\x98\x80", u"\U0001F600"},
        {65001,
         "a\xff"
         "b\xe2\x82",
         u"a\ufffdb\ufffd"},                            // ill-formed: U+FFFD
        {65001, "\xed\xa0\x80", u"\ufffd\ufffd\ufffd"}, // an encoded surrogate is no character
    };
    for (const auto& c : cases)
        EXPECT_EQ(ToWide(c.codePage, c.text), c.wide) << c.codePage << " '" << c.text << "'";
}

TEST_F(PosixCodePage, CharactersWithoutAFormBecomeTheDefault) {
    struct {
        UINT codePage;
        Wide wide;
        const CHAR* defaultChar;
        std::string text;
        BOOL usedDefault;
    } cases[] = {
        {437, u"\u00e9t\u00e9", nullptr, "\x82t\x82", FALSE},
        {437, u"\u20ac", nullptr, "?", TRUE},
        {437, u"\u20ac", "_", "_", TRUE},
        {437, u"\U0001F600", nullptr, "??", TRUE}, // one per UTF-16 unit
        {1252, u"\u20ac", nullptr, "\x80", FALSE},
        {866, u"\u0416", nullptr, "\x86", FALSE},
    };
    for (const auto& c : cases) {
        BOOL used = 2;
        EXPECT_EQ(FromWide(c.codePage, c.wide, c.defaultChar, &used), c.text) << c.codePage;
        EXPECT_EQ(used, c.usedDefault) << c.codePage;
    }
    EXPECT_EQ(FromWide(65001, u"\u00e9\U0001F600"), "\xc3\xa9\xf0\x9f\x98\x80");
    EXPECT_EQ(FromWide(65001, Wide(1, u'\xd800') + u"x"), "\xef\xbf\xbdx"); // lone surrogate
}

TEST_F(PosixCodePage, BufferSizesFollowTheWin32Contract) {
    // "\xc3\xa9z" with its terminator is 3 UTF-16 units; u"\u00e9z" is 4 bytes of UTF-8.
    struct {
        int wideSize, wideResult, textSize, textResult;
        DWORD error;
    } cases[] = {
        {0, 3, 0, 4, 0},
        {3, 3, 4, 4, 0},
        {2, 0, 3, 0, ERROR_INSUFFICIENT_BUFFER},
        {1, 0, 1, 0, ERROR_INSUFFICIENT_BUFFER},
    };
    for (const auto& c : cases) {
        WCHAR wide[8];
        SetLastError(0);
        EXPECT_EQ(MultiByteToWideChar(65001, 0, "\xc3\xa9z", -1, wide, c.wideSize), c.wideResult)
            << c.wideSize;
        EXPECT_EQ(GetLastError(), c.error) << c.wideSize;
        CHAR text[8];
        SetLastError(0);
        EXPECT_EQ(WideCharToMultiByte(65001, 0, u"\u00e9z", -1, text, c.textSize, nullptr, nullptr),
                  c.textResult)
            << c.textSize;
        EXPECT_EQ(GetLastError(), c.error) << c.textSize;
    }
}

TEST_F(PosixCodePage, InvalidArgumentsAreRefused) {
    WCHAR wide[4];
    CHAR text[4];
    BOOL used;
    struct {
        std::function<int()> call;
        const char* what;
    } cases[] = {
        {[&] { return MultiByteToWideChar(437, 0, nullptr, -1, wide, 4); }, "null text"},
        {[&] { return MultiByteToWideChar(437, 0, "a", 0, wide, 4); }, "zero length"},
        {[&] { return MultiByteToWideChar(437, 0, "a", -2, wide, 4); }, "negative length"},
        {[&] { return MultiByteToWideChar(437, 0, "a", -1, nullptr, 4); }, "null output"},
        {[&] { return MultiByteToWideChar(12345, 0, "a", -1, wide, 4); }, "unknown page"},
        {[&] { return WideCharToMultiByte(437, 0, nullptr, -1, text, 4, nullptr, nullptr); },
         "null wide"},
        {[&] { return WideCharToMultiByte(437, 0, u"a", -1, text, -1, nullptr, nullptr); },
         "negative size"},
        {[&] { return WideCharToMultiByte(65001, 0, u"a", -1, text, 4, nullptr, &used); },
         "default with UTF-8"},
    };
    for (const auto& c : cases) {
        SetLastError(0);
        EXPECT_EQ(c.call(), 0) << c.what;
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER) << c.what;
    }
}

TEST_F(PosixCodePage, CharToOemConvertsInPlace) {
    char text[] = "\xe9t\xe9 \x80"; // "été €" in 1252
    EXPECT_TRUE(CharToOemA(text, text));
    EXPECT_STREQ(text, "\x82t\x82 ?");
    char out[8];
    EXPECT_TRUE(CharToOemW(u"\u00e9\u0416", out));
    EXPECT_STREQ(out, "\x82?");
    ASSERT_TRUE(ZpSetOemCodePage(866));
    EXPECT_TRUE(CharToOemW(u"\u00e9\u0416", out));
    EXPECT_STREQ(out, "?\x86");
    EXPECT_FALSE(CharToOemA(nullptr, out));
}

TEST_F(PosixCodePage, OemPageIsSingleByteOnly) {
    struct {
        unsigned codePage;
        bool accepted;
    } cases[] = {{850, true},  {866, true},    {437, true},
                 {932, false}, {65001, false}, {12345, false}};
    for (const auto& c : cases) {
        ASSERT_TRUE(ZpSetOemCodePage(1252));
        EXPECT_EQ(ZpSetOemCodePage(c.codePage), c.accepted) << c.codePage;
        EXPECT_EQ(ZpOemCodePage(), c.accepted ? c.codePage : 1252u) << c.codePage;
    }
}

TEST_F(PosixCodePage, HostConversionsNeverCutACharacter) {
    struct {
        bool toOem;
        std::string in;
        size_t size;
        bool whole;
        std::string out;
    } cases[] = {
        {false, "\x82t", 4, true, "\xc3\xa9t"},
        {false, "\x82t", 3, false, "\xc3\xa9"},
        {false, "\x82t", 2, false, ""},
        {true, "\xc3\xa9\xe2\x82\xac", 3, true, "\x82?"},
        {true, "\xc3\xa9\xe2\x82\xac", 2, false, "\x82"},
        {true, "a\xf0\x9f\x98\x80", 3, false, "a"}, // both units or neither
        {true, "a\xf0\x9f\x98\x80", 4, true, "a??"},
    };
    for (const auto& c : cases) {
        char out[16];
        bool whole = c.toOem ? ZpUtf8ToOem(c.in.c_str(), out, c.size)
                             : ZpOemToUtf8(c.in.c_str(), out, c.size);
        EXPECT_EQ(whole, c.whole) << c.in << " in " << c.size;
        EXPECT_EQ(out, c.out) << c.in << " in " << c.size;
    }
    const unsigned char* upper = ZpOemUpperTable();
    EXPECT_EQ(upper['a'], 'A');
    EXPECT_EQ(upper[0x82], 0x90); // é, É
    EXPECT_EQ(upper[0x85], 0x85); // à: CP437 has no À
}

} // namespace
