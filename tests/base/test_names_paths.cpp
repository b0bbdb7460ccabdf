// Extensions, text paths with backslashes and drives, file system paths and
// the CRC-16 checksum.
#include "base/cstsyst.h"
#include "base/extgest.h"
#include "diag/i18nerrgest.h"
#include "support/console.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

namespace {

using namespace qvm::base;

using qvm::testing::ScopedEnv;

void expectSplit(std::string_view name, std::string_view stem, std::string_view extension)
{
    const SplitName split = splitExtension(name);
    EXPECT_EQ(split.name, stem) << name;
    EXPECT_EQ(split.extension, extension) << name;
}

// On Linux '/' separates directories, so a dot before the last slash belongs
// to a directory name and never starts an extension; the backslash keeps
// separating too.
TEST(Extensions, SplitAtLastDotOrSeparator)
{
    expectSplit("demo", "demo", "");
    expectSplit("demo.scr", "demo", "scr");
    expectSplit("a.b.c", "a.b", "c");
    expectSplit(".profile", "", "profile");
    expectSplit("dir.d/run", "dir.d/run", "");
    expectSplit("../tests/demo", "../tests/demo", "");
    expectSplit("./demo", "./demo", "");
    expectSplit("/abs.d/demo.scr", "/abs.d/demo", "scr");
    expectSplit("out\\run.cc", "out\\run", "cc");
    expectSplit("out.d\\run", "out.d\\run", "");
    expectSplit("demo.", "demo", "");
    expectSplit("", "", "");
}

TEST(Extensions, DefaultFromSetNonEmptyEnv)
{
    {
        ScopedEnv pts("QVM_PTS", nullptr);
        EXPECT_EQ(withDefaultExtension("demo", "QVM_PTS", "pts"), "demo.pts");
        EXPECT_EQ(withOwnOrDefaultExtension("demo", "QVM_PTS", "pts"), "demo.pts");
    }
    {
        ScopedEnv pts("QVM_PTS", "txt");
        EXPECT_EQ(withDefaultExtension("demo", "QVM_PTS", "pts"), "demo.txt");
        EXPECT_EQ(withOwnOrDefaultExtension("demo", "QVM_PTS", "pts"), "demo.txt");
        EXPECT_EQ(withOwnOrDefaultExtension("demo.scr", "QVM_PTS", "pts"), "demo.scr");
    }
    ScopedEnv pts("QVM_PTS", "");
    EXPECT_EQ(withOwnOrDefaultExtension("demo", "QVM_PTS", "pts"), "demo.pts");
    EXPECT_EQ(withOwnOrDefaultExtension("out\\run", "QVM_PTS", "c"), "out\\run.c");
    EXPECT_EQ(withOwnOrDefaultExtension("out\\run.cc", "QVM_PTS", "c"), "out\\run.cc");
    EXPECT_EQ(withOwnOrDefaultExtension("demo.", "QVM_PTS", "pts"), "demo.pts");
    EXPECT_EQ(withDefaultExtension("demo", nullptr, "spg"), "demo.spg");
}

TEST(TextPaths, JoinKeepsTheDirsSeparator)
{
    EXPECT_EQ(joinPath("inc", "a.pts"), "inc/a.pts");
    EXPECT_EQ(joinPath("C:\\inc", "a.pts"), "C:\\inc\\a.pts");
    EXPECT_EQ(resolvePath("C:\\work", "a.pts"), "C:\\work\\a.pts");
    EXPECT_EQ(resolvePath("C:\\work", "\\abs\\a.pts"), "\\abs\\a.pts");
    EXPECT_EQ(resolvePath("C:\\work", "D:a.pts"), "D:a.pts");
    EXPECT_EQ(resolvePath("C:\\work", ""), "C:\\work");
    EXPECT_EQ(resolvePath("/work", "sub/a.pts"), "/work/sub/a.pts");
    EXPECT_EQ(resolvePath("/work", "/abs/a.pts"), "/abs/a.pts");
}

TEST(TextPaths, RelativePathClimbsThenDescends)
{
    EXPECT_EQ(relativePath("C:\\a\\b\\", "C:\\a\\c\\d\\"), "..\\c\\d\\");
    EXPECT_EQ(relativePath("C:\\a\\b", "C:\\a\\c\\d"), "..\\c\\d\\");
    EXPECT_EQ(relativePath("C:\\a\\b\\", "C:\\a\\b\\"), "");
    EXPECT_EQ(relativePath("C:\\a\\b", "C:\\a\\b\\"), "");
    EXPECT_EQ(relativePath("C:\\a\\", "C:\\a\\b\\c\\"), "b\\c\\");
    EXPECT_EQ(relativePath("C:\\a\\b\\c\\", "C:\\a\\"), "..\\..\\");
    EXPECT_EQ(relativePath("\\x\\y\\", "\\z\\"), "..\\..\\z\\");
    // Components must match whole, not as prefixes of each other.
    EXPECT_EQ(relativePath("C:\\ab\\", "C:\\a\\"), "..\\a\\");
    EXPECT_EQ(relativePath("/home/a/b", "/home/a/c/d"), "../c/d/");
    EXPECT_EQ(relativePath("/home/a/b/", "/home/a/b"), "");
}

TEST(TextPaths, PrefixWithMixedSeparators)
{
    EXPECT_EQ(samePathPrefix("C:\\a\\b", "C:/a/b", 6), 0);
    EXPECT_EQ(samePathPrefix("C:\\a\\\\b", "C:/a/b", 7), 0);
    EXPECT_EQ(samePathPrefix("C:\\a\\b", "C:\\a\\c", 6), 1);
    EXPECT_EQ(samePathPrefix("C:\\a\\b", "C:\\a\\c", 5), 0);
    EXPECT_EQ(samePathPrefix("C:\\a\\b", "\\a\\b", 6), 0);
    EXPECT_EQ(samePathPrefix("/a/b", "D:\\a\\b", 4), 0);
    EXPECT_EQ(samePathPrefix("C:\\a", "D:\\a", 4), 1);
    EXPECT_EQ(samePathPrefix("C:\\a\\b\\file.h", "C:\\a\\b", 6), 0);
    EXPECT_EQ(samePathPrefix("C:\\a", "C:\\a\\b", 10), 1);
    EXPECT_EQ(samePathPrefix("C:\\a", "C:\\a", 10), 0);
}

TEST(SystemPaths, NameAndDirTakeBothSeparators)
{
    EXPECT_EQ(fileNamePart("out\\run.c"), "run.c");
    EXPECT_EQ(directoryPart("out\\run.c"), "out");
    EXPECT_EQ(fileNamePart("a/b\\c/run.c"), "run.c");
    EXPECT_EQ(directoryPart("a/b\\c/run.c"), "a/b\\c");
    EXPECT_EQ(fileNamePart("run.c"), "run.c");
    EXPECT_EQ(directoryPart("run.c"), ".");
    EXPECT_EQ(directoryPart("/run.c"), "/");
    EXPECT_EQ(directoryPart("C:\\run.c"), "C:\\");
    EXPECT_EQ(fileNamePart("C:run.c"), "run.c");
    EXPECT_EQ(directoryPart("C:run.c"), "C:");
    EXPECT_EQ(fileNamePart("dir/"), "");
    EXPECT_EQ(directoryPart("dir/"), "dir");
    EXPECT_EQ(fileNamePart(""), "");
    EXPECT_EQ(directoryPart(""), "");
}

TEST(SystemPaths, JoinForOpening)
{
    EXPECT_EQ(systemPath("inc", "a.h"), "inc/a.h");
    EXPECT_EQ(systemPath("inc/", "a.h"), "inc/a.h");
    EXPECT_EQ(systemPath("inc", "/usr/a.h"), "/usr/a.h");
    EXPECT_EQ(systemPath("", "a.h"), "a.h");
}

TEST(SystemFiles, CompareFileTimes)
{
    using std::filesystem::last_write_time;
    qvm::testing::TempDir dir;
    const auto older = dir / "older.h";
    const auto newer = dir / "newer.h";
    qvm::testing::writeFile(older, "1");
    qvm::testing::writeFile(newer, "2");
    last_write_time(older, last_write_time(newer) - std::chrono::seconds(5));

    EXPECT_EQ(compareFileTimes(older.string(), newer.string()), 1);
    EXPECT_EQ(compareFileTimes(newer.string(), older.string()), 2);
    EXPECT_EQ(compareFileTimes(newer.string(), newer.string()), 1);
    EXPECT_EQ(compareFileTimes((dir / "missing").string(), newer.string()), 0);
    EXPECT_EQ(compareFileTimes(newer.string(), (dir / "missing").string()), 0);
}

TEST(SystemFiles, WriteFormatAndClose)
{
    qvm::testing::TempDir dir;
    const std::string name = (dir / "out.txt").string();
    FileHandle file = openFile(name, "w");
    ASSERT_TRUE(file);
    writeText(file.get(), "SPG demo.spg\n");
    writeFormatted(file.get(), "%s_P%d\n", "trv", 12);
    closeFile(file);
    EXPECT_FALSE(file);
    EXPECT_EQ(qvm::testing::readFile(name), "SPG demo.spg\ntrv_P12\n");
    EXPECT_EQ(formatText("%s %d", "Sat Dec  5", 42), "Sat Dec  5 42");
    EXPECT_FALSE(openFile((dir / "no" / "such.txt").string(), "r"));
    EXPECT_TRUE(removeFile(name));
    EXPECT_FALSE(removeFile(name));
}

TEST(SystemFiles, ReadWholeFileKeepsEveryByte)
{
    qvm::testing::TempDir dir;
    std::string large;
    for (int i = 0; large.size() < 200000; ++i) {
        large += std::to_string(i);
        large += i % 7 == 0 ? std::string(1, '\0') : "\r\n";
    }
    for (const std::string& text : {std::string(), std::string("x"), large}) {
        const auto path = dir / "read.txt";
        qvm::testing::writeFile(path, text);
        const std::optional<std::string> read = readWholeFile(path.string());
        ASSERT_TRUE(read);
        EXPECT_EQ(*read, text);
    }
    EXPECT_FALSE(readWholeFile((dir / "missing").string()));
    EXPECT_FALSE(readWholeFile(dir.path().string()));
}

// A failing system call ends the run with status 7 and a message on the
// console only.
class FailingCalls : public qvm::testing::ConsoleTest {
protected:
    template <typename Call>
    void expectSystemFailure(Call call, const std::string& name)
    {
        console.clear();
        EXPECT_EQ(statusOf(call), 7) << name;
        EXPECT_EQ(console, "FATAL ERROR on '" + name + "',\n Please contact your administrative.\n");
    }
};

TEST_F(FailingCalls, WriteToAReadOnlyStream)
{
    qvm::testing::TempDir dir;
    qvm::testing::writeFile(dir / "in.txt", "x");
    FileHandle file = openFile((dir / "in.txt").string(), "r");
    ASSERT_TRUE(file);
    expectSystemFailure([&] { writeText(file.get(), "text"); }, "fprintf");
    expectSystemFailure([&] { writeFormatted(file.get(), "%d", 1); }, "fprintf");
}

TEST_F(FailingCalls, CloseOfUnflushableStream)
{
    FileHandle file = openFile("/dev/full", "w");
    if (!file) {
        GTEST_SKIP() << "no /dev/full";
    }
    writeText(file.get(), "buffered until the close");
    expectSystemFailure([&] { closeFile(file); }, "fclose");
    EXPECT_FALSE(file);
}

TEST_F(FailingCalls, StatUnreadableIsFatal)
{
    qvm::testing::TempDir dir;
    qvm::testing::writeFile(dir / "a.h", "x");
    const std::string existing = (dir / "a.h").string();
    EXPECT_EQ(compareFileTimes(existing, (dir / "missing" / "b.h").string()), 0);
    EXPECT_EQ(compareFileTimes(existing, existing + "/b.h"), 0);  // a file used as a directory
    const std::string tooLong(5000, 'n');
    expectSystemFailure([&] { compareFileTimes(existing, tooLong); }, "stat");
}

TEST_F(FailingCalls, FormatThatCannotBeProduced)
{
    // A wide character with no multibyte form in the C locale.
    expectSystemFailure([] { formatText("%ls", L"\x20ac"); }, "sprintf(%ls");
}

TEST(SystemFiles, DateTextHasNoTrailingNewline)
{
    const std::string date = currentDateText();
    ASSERT_EQ(date.size(), 24u);  // "Sat Dec  5 14:56:04 2026"
    EXPECT_NE(date.back(), '\n');
}

TEST(Checksum, Crc16CheckValues)
{
    EXPECT_EQ(crc16Kermit("123456789"), 0x2189);
    EXPECT_EQ(crc16Kermit("abc"), 0x58E9);
    EXPECT_EQ(crc16Kermit(""), 0);
    const std::string_view check = "123456789";
    const std::span<const unsigned char> bytes(reinterpret_cast<const unsigned char*>(check.data()), check.size());
    EXPECT_EQ(crc16(bytes, std::nullopt, 0, false), 0x31C3);       // XMODEM
    EXPECT_EQ(crc16(bytes, std::nullopt, 0xFFFF, false), 0x29B1);  // CCITT-FALSE
    EXPECT_EQ(crc16(bytes, static_cast<unsigned char>(0xFF), 0, false), 0x29B1);
    EXPECT_EQ(crc16(bytes, std::nullopt, 0x1D0F, false), 0xE5CC);  // AUG-CCITT
    EXPECT_EQ(crc16(bytes, std::nullopt, 0xFFFF, true), 0x6F91);   // MCRF4XX
    // Reflected runs from an initial value or byte that is not symmetric.
    EXPECT_EQ(crc16(bytes, std::nullopt, 0x89EC, true), 0xD3CA);
    EXPECT_EQ(crc16(bytes, static_cast<unsigned char>(0x12), 0, true), 0xF06D);
}

// Long texts are folded several bytes at a time: every length and every byte
// value gives what the bit-by-bit definition gives.
TEST(Checksum, Crc16OfLongTextsIsBitwiseCrc)
{
    const auto bitwiseKermit = [](std::string_view text) {
        std::uint16_t crc = 0;
        for (const char c : text) {
            crc ^= static_cast<unsigned char>(c);
            for (int bit = 0; bit < 8; ++bit) {
                crc = (crc & 1U) != 0 ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408U) : crc >> 1;
            }
        }
        return crc;
    };
    std::string text;
    for (int i = 0; i < 600; ++i) {
        text += static_cast<char>((i * 167 + 13) % 256);
    }
    for (std::size_t length = 0; length <= text.size(); length += 7) {
        EXPECT_EQ(crc16Kermit(std::string_view(text).substr(0, length)), bitwiseKermit(text.substr(0, length)))
            << length;
    }
}

}  // namespace
