// Message buffer: number formats, composition and growth beyond the built-in storage.
#include "buffer.h"

#include "comma_locale.h"

#include <filesystem>
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <string>

namespace {

std::string text() { return std::string(BUF_Buffer(), BUF_Index()); }

TEST(Buffer, ComposesRequestLine) {
    BUF_Reset(nullptr);
    BUF_AddString("GetSonar");
    BUF_AddSpace();
    BUF_AddBoolean(1);
    BUF_AddSpace();
    BUF_AddBoolean(0);
    BUF_AddChar('\n');
    EXPECT_EQ(text(), "GetSonar 1 0\n");
    EXPECT_EQ(BUF_Index(), 13u);
    EXPECT_EQ(BUF_Buffer()[13], '\0');
}

TEST(Buffer, AddStringsStopsAtNull) {
    BUF_Reset(nullptr);
    BUF_AddStrings("a", "bc", "", "d", nullptr);
    EXPECT_EQ(text(), "abcd");
}

TEST(Buffer, LongFormat) {
    const struct {
        long value;
        const char *text;
    } cases[] = {{0, "0"}, {-2147483648L, "-2147483648"}, {LONG_MAX, "9223372036854775807"}};
    for (const auto &c : cases) {
        BUF_Reset(nullptr);
        BUF_AddLong(c.value);
        EXPECT_EQ(text(), c.text) << c.value;
    }
}

TEST(Buffer, FixedPointFormat) {
    const struct {
        double value;
        const char *text;
    } cases[] = {
        {1.5, "1.5"},
        {2.0, "2"},
        {100.0, "100"},
        {0.25, "0.25"},
        {-0.0, "-0"},
        {1e-12, "0"},
        {0.12345678901, "0.123456789"},
        {3.0, "3"},
        {0.1, "0.1"},
        {-2.50, "-2.5"},
        {99999999.0, "99999999"},
        // Beyond the 20-byte work area: the full text, neither cut nor overflowing.
        {1e8, "100000000"},
        {-1e7, "-10000000"},
        {1e15, "1000000000000000"},
        {-1e12, "-1000000000000"},
        {123456789.5, "123456789.5"},
    };
    for (const auto &c : cases) {
        BUF_Reset(nullptr);
        BUF_AddDouble(c.value);
        EXPECT_EQ(text(), c.text) << c.value;
    }
}

TEST(Buffer, FixedPointOfLargestDouble) {
    BUF_Reset(nullptr);
    BUF_AddDouble(DBL_MAX);
    std::string t = text();
    EXPECT_EQ(t.size(), 309u); // all integer digits of 1.797...e308, no fraction left
    EXPECT_EQ(t.substr(0, 6), "179769");
    EXPECT_EQ(t.find('.'), std::string::npos);
}

TEST(Buffer, PrecisionFormat) {
    BUF_Reset(nullptr);
    BUF_AddPrecisionDouble(1.0);
    EXPECT_EQ(text(), "1.000000000000000000000000000000e+00");
    BUF_Reset(nullptr);
    BUF_AddPrecisionDouble(-DBL_MAX);
    EXPECT_EQ(text().substr(text().size() - 5), "e+308");
}

TEST(Buffer, SetIndexRewritesFromThere) {
    BUF_Reset(nullptr);
    BUF_AddString("abcdef");
    BUF_SetIndex(3);
    BUF_AddString("XY");
    EXPECT_EQ(std::string(BUF_Buffer()), "abcXY");
}

TEST(Buffer, NulCharacterAppendsNothing) {
    BUF_Reset(nullptr);
    BUF_AddString("a");
    BUF_AddChar('\0');
    BUF_AddChar('b');
    EXPECT_EQ(text(), "ab");
}

TEST(Buffer, CallerAreaIsUsedAndReturnToLocal) {
    char area[64];
    BUF_ResetArea(area, sizeof area);
    BUF_AddString("hello");
    EXPECT_EQ(BUF_Buffer(), area);
    EXPECT_STREQ(area, "hello");
    BUF_Reset(nullptr);
    EXPECT_NE(BUF_Buffer(), area);
    EXPECT_EQ(BUF_Index(), 0u);
}

TEST(BufferDeath, CallerAreaIsNeverOverrun) {
    char area[8];
    BUF_ResetArea(area, sizeof area);
    BUF_AddString("1234567"); // 7 characters and the terminator fill it exactly
    EXPECT_DEATH(BUF_AddChar('x'), "Assertion failed: LocalBufferp \\|\\| HeapBufferp");
}

TEST(BufferDeath, NullString) {
    BUF_Reset(nullptr);
    EXPECT_DEATH(BUF_AddString(nullptr), "Assertion failed: s,");
}

TEST(Buffer, BuiltInStorageHolds799999CharactersWithoutGrowth) {
    std::string chunk(1000, 'x');
    BUF_Reset(nullptr);
    char *storage = BUF_Buffer();
    for (int i = 0; i < 799; i++)
        BUF_AddString(chunk.c_str());
    BUF_AddString(std::string(999, 'y').c_str());
    EXPECT_EQ(BUF_Index(), 799999u);
    EXPECT_EQ(BUF_Buffer(), storage); // no reallocation up to here
    EXPECT_EQ(BUF_Size(), 800000u);

    BUF_AddChar('z'); // the 800000th character needs heap storage
    EXPECT_NE(BUF_Buffer(), storage);
    EXPECT_EQ(BUF_Index(), 800000u);
    EXPECT_EQ(BUF_Size(), 1600000u);
    std::string t = text();
    EXPECT_EQ(t.substr(0, 1000), chunk);
    EXPECT_EQ(t.substr(799000, 999), std::string(999, 'y'));
    EXPECT_EQ(t.back(), 'z');

    for (int i = 0; i < 2000; i++) // keeps doubling
        BUF_AddString(chunk.c_str());
    EXPECT_EQ(BUF_Index(), 2800000u);
    EXPECT_EQ(BUF_Size(), 3200000u);

    BUF_Reset(nullptr); // back to the built-in storage
    EXPECT_EQ(BUF_Buffer(), storage);
    EXPECT_EQ(BUF_Size(), 800000u);
}

// One append may need more than twice the room there is: the storage grows until it fits.
TEST(Buffer, OneAppendLargerThanTwiceTheStorage) {
    BUF_Reset(nullptr);
    BUF_AddString("head ");
    std::string big(5 * BUF_LOCAL_SIZE, 'q');
    big.back() = 'z';
    BUF_AddString(big.c_str());
    EXPECT_EQ(BUF_Index(), 5 + big.size());
    EXPECT_GT(BUF_Size(), BUF_Index()); // room for the terminator too
    EXPECT_EQ(text(), "head " + big);
    BUF_Reset(nullptr);
}

// Requests carry decimal points whatever locale the program chose.
TEST(Buffer, DoublesUseAPointUnderACommaLocale) {
    char dir_template[] = "/tmp/rovak-locale-XXXXXX";
    ASSERT_NE(mkdtemp(dir_template), nullptr);
    bool have = use_comma_locale(dir_template);
    std::string plain, precise;
    if (have) {
        BUF_Reset(nullptr);
        BUF_AddDouble(12.9);
        plain = BUF_Buffer();
        BUF_Reset(nullptr);
        BUF_AddPrecisionDouble(0.5);
        precise = BUF_Buffer();
    }
    drop_comma_locale();
    std::filesystem::remove_all(dir_template);
    if (!have)
        GTEST_SKIP() << "no locale with a decimal comma (localedef and de_DE sources missing)";
    EXPECT_EQ(plain, "12.9");
    EXPECT_EQ(precise, "5.000000000000000000000000000000e-01");
}

} // namespace
