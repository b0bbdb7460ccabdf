// The string identifier table: unique pointers per text, chunk growth and
// entry growth with earlier identifiers staying valid.
#include "base/mhcode.h"
#include "base/mstrid.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace qvm::base;

class IdentTable : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetIdentTable();
        initIdentTable();
    }
    void TearDown() override { resetIdentTable(); }
};

TEST_F(IdentTable, EqualTextsShareOnePointer)
{
    const Ident first = ident("trv_counter");
    const std::string copy = "trv_counter";
    EXPECT_EQ(ident(copy), first);
    EXPECT_STREQ(first, "trv_counter");
    EXPECT_NE(ident("TRV_COUNTER"), first);
    EXPECT_NE(ident("Trv_counter"), first);
    EXPECT_NE(ident("trv_counter "), first);
    EXPECT_EQ(identCount(), 5u);  // the empty text and four distinct texts
}

TEST_F(IdentTable, EmptyAndNullTexts)
{
    EXPECT_EQ(ident(""), nullptr);
    EXPECT_STREQ(identOrEmpty(nullptr), "");
    EXPECT_EQ(identOrEmpty(nullptr), identOrEmpty(nullptr));
    const Ident name = ident("x");
    EXPECT_EQ(identOrEmpty(name), name);
    EXPECT_EQ(identText(nullptr), "");
    EXPECT_EQ(identText(name), "x");
    EXPECT_EQ(identCount(), 2u);
}

TEST_F(IdentTable, TextEndsAtFirstZero)
{
    EXPECT_EQ(ident(std::string_view("abc\0def", 7)), ident("abc"));
    EXPECT_EQ(ident(std::string_view("abcdefghij\0klmnopqr", 20)), ident("abcdefghij"));
    EXPECT_EQ(ident(std::string_view("abcdefgh\0", 9)), ident("abcdefgh"));
    EXPECT_EQ(ident(std::string_view("\0abcdefghijk", 12)), nullptr);
    // Texts sharing their first characters, of lengths around a multiple of eight.
    const std::string longName = "abcdefghijklmnopq";
    for (std::size_t length = 1; length <= longName.size(); ++length) {
        const Ident id = ident(longName.substr(0, length));
        EXPECT_EQ(identText(id), longName.substr(0, length));
        EXPECT_EQ(ident(longName.substr(0, length)), id);
    }
}

TEST_F(IdentTable, SecondInitKeepsEntries)
{
    const Ident name = ident("kept");
    initIdentTable();
    EXPECT_EQ(ident("kept"), name);
}

TEST_F(IdentTable, TextLongerThanAChunkKeptWhole)
{
    ident("before");
    EXPECT_EQ(identChunkSize(), 100000u);
    const std::string longText(100005, 'q');
    const Ident stored = ident(longText);
    EXPECT_EQ(identChunkSize(), 200005u);
    EXPECT_EQ(std::strlen(stored), longText.size());
    EXPECT_EQ(ident(longText), stored);
    EXPECT_STREQ(ident("before"), "before");
}

TEST_F(IdentTable, FullChunkStartsASameSizeOne)
{
    std::vector<Ident> ids;
    const std::string filler(999, 'f');
    for (int i = 0; i < 150; ++i) {
        ids.push_back(ident(filler + std::to_string(i % 10) + std::to_string(i)));
    }
    EXPECT_EQ(identChunkSize(), 100000u);
    for (int i = 0; i < 150; ++i) {
        EXPECT_EQ(identText(ids[static_cast<std::size_t>(i)]), filler + std::to_string(i % 10) + std::to_string(i));
    }
}

TEST_F(IdentTable, EntryArrayGrowsIdsStayValid)
{
    EXPECT_EQ(identCapacity(), 10000u);
    std::vector<Ident> ids;
    for (int i = 0; i < 25000; ++i) {
        ids.push_back(ident("name_" + std::to_string(i)));
        if (i == 9997) {
            EXPECT_EQ(identCount(), 9999u);  // reached capacity minus one
            EXPECT_EQ(identCapacity(), 10000u);
        }
    }
    EXPECT_EQ(identCapacity(), 30000u);
    EXPECT_EQ(identCount(), 25001u);
    for (int i = 0; i < 25000; ++i) {
        ASSERT_EQ(ident("name_" + std::to_string(i)), ids[static_cast<std::size_t>(i)]);
    }
}

TEST(IdentHash, BucketsOfKnownTexts)
{
    // h = 128: P[128] is 727, P[(855 + 'a') % 256] = P[184] is 1103, ...
    EXPECT_EQ(identHash(""), 128);
    EXPECT_EQ(identHash("a"), 128 + 727 + 97 + 1103);
    const int highBit = identHash("\xe9");  // taken as -23
    EXPECT_EQ(highBit, 128 + 727 - 23 + 313);
    EXPECT_EQ(identHash("main"), 5173);
    for (const char* text : {"main", "trv_P12", "a_rather_longer_identifier_name"}) {
        const int bucket = identHash(text);
        EXPECT_GE(bucket, 0);
        EXPECT_LT(bucket, kIdentBuckets);
    }
}

TEST(CompareTexts, SignedDifferenceOrMinusOne)
{
    EXPECT_EQ(compareTexts("abc", "abc"), 0);
    EXPECT_EQ(compareTexts("abd", "abc"), 1);
    EXPECT_EQ(compareTexts("ab", "abc"), -'c');
    EXPECT_EQ(compareTexts("\xe9", "a"), -23 - 'a');
    EXPECT_EQ(compareTexts(nullptr, "a"), -1);
    EXPECT_EQ(compareTexts("a", nullptr), -1);
}

}  // namespace
