// Bounded concatenation, the display format suffix with its diagnostics, and
// the end of the run on memory exhaustion.
#include "base/mfmemo.h"
#include "base/mstrin.h"
#include "diag/catalog.h"
#include "diag/i18nerrgest.h"
#include "support/console.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define QVM_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QVM_TEST_ASAN 1
#endif
#endif

#ifdef QVM_TEST_ASAN
// Let a huge allocation fail the ordinary way, as the memory test expects.
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1";
}
#endif

namespace {

using namespace qvm;
using base::DisplayFormat;
using base::displayFormat;

class WithConsole : public qvm::testing::ConsoleTest {
protected:
    void SetUp() override
    {
        ConsoleTest::SetUp();
        diag::setCurrentFile("demo.pts");
        diag::setCurrentLine(7);
    }
};

TEST(BoundedStrings, ConcatStopsAtTheLimit)
{
    EXPECT_EQ(base::boundedConcat({"trv_", "P", "12"}), "trv_P12");

    const std::string block(10000, 'x');
    const std::string joined = base::boundedConcat({block, block, block});
    EXPECT_EQ(joined.size(), base::kMaxConcat);
    EXPECT_EQ(joined, std::string(24576, 'x'));

    std::string destination(24570, 'a');
    base::boundedAppend(destination, {"bcdef", "ghij", "k"});
    EXPECT_EQ(destination.size(), 24576u);
    EXPECT_EQ(destination.substr(24570), "bcdefg");

    base::boundedAppend(destination, {"more"});
    EXPECT_EQ(destination.size(), 24576u);
}

class DisplayFormats : public WithConsole {
protected:
    void expectFormat(std::string_view text, int kind, int size)
    {
        const std::optional<DisplayFormat> format = displayFormat(text);
        ASSERT_TRUE(format) << text;
        EXPECT_EQ(format->kind, kind) << text;
        EXPECT_EQ(format->size, size) << text;
    }
    void expectRefused(std::string_view text, const std::string& line)
    {
        console.clear();
        EXPECT_FALSE(displayFormat(text)) << text;
        EXPECT_EQ(console, line) << text;
    }
};

TEST_F(DisplayFormats, LettersGiveKindSignSize)
{
    expectFormat("x#h16", 0, -16);
    expectFormat("x#H8", 0, -8);
    expectFormat("x#u8", 3, 8);
    expectFormat("x#U32", 3, 32);
    expectFormat("x#d32", 1, -32);
    expectFormat("x#b8", 2, -8);
    expectFormat("x#f", 4, -6);
    expectFormat("x#F10", 4, -10);
    expectFormat("x#e", 5, -48);
    expectFormat("x#E12", 5, -12);
    expectFormat("x#h", 0, 0);
    expectFormat("x# \th16 \t", 0, -16);
    EXPECT_EQ(console, "");
}

TEST_F(DisplayFormats, BareBasesAndDefault)
{
    expectFormat("v#16", 0, 0);
    expectFormat("v#2", 2, 0);
    expectFormat("v# 16 ", 0, 0);
    expectFormat("value", 6, 0);
    expectFormat("", 6, 0);
    EXPECT_EQ(console, "");
}

TEST_F(DisplayFormats, BadSuffixAtThePosition)
{
    expectRefused("v#", "");
    expectRefused("v#d12", "Fenwir-E-TAILLEDIV,  [demo.pts:7] Size must be a multiple of 8 #d12\n");
    expectRefused("v#u4", "Fenwir-E-TAILLEDIV,  [demo.pts:7] Size must be a multiple of 8 #u4\n");
    expectRefused("v#x", "Fenwir-E-BASEINCON,  [demo.pts:7] Unknown display format #x\n");
    expectRefused("v#8", "Fenwir-E-BASEINCON,  [demo.pts:7] Unknown display format #8\n");
    expectRefused("v#  ", "Fenwir-E-BASEINCON,  [demo.pts:7] Unknown display format #  \n");
    expectRefused("v#h1x", "Fenwir-E-TAILLEERR,  [demo.pts:7] Incorrect size #h1x\n");
    expectRefused("v#h-8", "Fenwir-E-TAILLEERR,  [demo.pts:7] Incorrect size #h-8\n");
    expectRefused("v#h99999999999", "Fenwir-E-TAILLEERR,  [demo.pts:7] Incorrect size #h99999999999\n");
    expectRefused("v#162", "Fenwir-E-BASEINCON,  [demo.pts:7] Unknown display format #162\n");
    EXPECT_EQ(diag::errorCount(), 9u);
}

TEST_F(DisplayFormats, FloatSizesAnyBitCount)
{
    expectFormat("v#f7", 4, -7);
    expectFormat("v#e5", 5, -5);
}

class Memory : public WithConsole {};

TEST_F(Memory, BlocksAreUsableAndZeroed)
{
    auto* zeroed = static_cast<unsigned char*>(base::allocateZeroed(16, 4));
    for (int i = 0; i < 64; ++i) {
        ASSERT_EQ(zeroed[i], 0);
    }
    auto* grown = static_cast<unsigned char*>(base::reallocate(zeroed, 128));
    grown[127] = 7;
    base::zeroFill(grown, 128);
    EXPECT_EQ(grown[127], 0);
    base::release(grown);
    base::release(nullptr);
    base::release(base::allocate(0));
}

TEST_F(Memory, LargeBlocksAlignedAndKeptOnGrowth)
{
    void* small = base::allocateLargePages(100);
    void* large = base::allocateLargePages(base::kLargePage + 1);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(large) % base::kLargePage, 0u);
    static_cast<char*>(large)[base::kLargePage] = 'x';
    base::releaseLargePages(small, 100);
    base::releaseLargePages(large, base::kLargePage + 1);

    std::vector<std::uint64_t, base::LargePageAllocator<std::uint64_t>> values;
    for (std::uint64_t i = 0; i < 3 * base::kLargePage / sizeof(std::uint64_t); ++i) {
        values.push_back(i * 7);
    }
    for (std::size_t i = 0; i < values.size(); i += 4093) {
        ASSERT_EQ(values[i], i * 7);
    }
}

TEST_F(Memory, ExhaustionIsInternalError)
{
    int status = -1;
    try {
        base::allocate(SIZE_MAX / 2);
    } catch (const RunAbort& abort) {
        status = abort.status;
    }
    EXPECT_EQ(status, 9);
    status = -1;
    console.clear();
    try {
        base::allocateLargePages(SIZE_MAX);
    } catch (const RunAbort& abort) {
        status = abort.status;
    }
    EXPECT_EQ(status, 9);
    EXPECT_EQ(console, "Fenwir-S-ERRINTFCT,  [demo.pts:7] Internal error in the function memory overflow\n");
}

}  // namespace
