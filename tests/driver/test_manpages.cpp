// The manual pages: they render without a warning, and they describe every
// option, subcommand and environment variable the programs know.
#include "support/process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;

using qvm::testing::readFile;
using qvm::testing::runProgram;

const fs::path kManDir = fs::path(QVM_SOURCE_DIR) / "man";
const std::vector<std::string> kPages{"qvmprepro.1", "qvminspect.1", "qvmpts.5"};

// Every match of the pattern's first group in text.
std::set<std::string> allMatches(const std::string& text, const std::string& pattern)
{
    const std::regex re(pattern);
    std::set<std::string> found;
    for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it) {
        found.insert((*it)[1].str());
    }
    return found;
}

// The page as a reader sees it, without fonts and hyphenation.
std::string rendered(const std::string& page)
{
    const auto result = runProgram("groff", {"-man", "-Tutf8", "-P-cbou", "-rHY=0", (kManDir / page).string()});
    return std::regex_replace(result.out, std::regex("\\s+"), " ");
}

TEST(ManualPages, RenderWithoutAnyWarning)
{
    for (const std::string& page : kPages) {
        const auto groff = runProgram("groff", {"-ww", "-z", "-man", "-Tutf8", (kManDir / page).string()});
        EXPECT_EQ(groff.status, 0) << page;
        EXPECT_EQ(groff.err, "") << page;
        const auto man = runProgram("man", {"-l", (kManDir / page).string()},
                                    {{"MANPAGER", std::string("cat")}, {"MANWIDTH", std::string("80")}});
        EXPECT_EQ(man.status, 0) << page << man.err;
        if (page.ends_with(".1")) {
            EXPECT_THAT(man.out, ::testing::HasSubstr("EXIT STATUS")) << page;
        }
    }
}

TEST(ManualPages, PreproPageNamesAllOptions)
{
    // The decoder prints its usage text after any command-line error.
    const auto usage = qvm::testing::runPrepro({});
    const std::size_t start = usage.err.find("Usage QVMPREPRO:");
    ASSERT_NE(start, std::string::npos) << usage.err;
    const std::string usageText = usage.err.substr(start, usage.err.find("Fenwir-", start) - start);
    const std::set<std::string> options = allMatches(usageText, R"(-([A-Z_]+)\b)");
    ASSERT_GE(options.size(), 22u) << usage.err;
    const std::string page = rendered("qvmprepro.1");
    for (const std::string& option : options) {
        EXPECT_NE(page.find("-" + option), std::string::npos) << option;
    }
    for (const char* variable :
         {"FENWIRDIR", "QVM_PTS", "QVM_LIS", "QVM_DEF", "QVM_TDC", "QVM_H", "QVM_TSF", "QVM_RIO", "QVM_SRC", "QVMTGT",
          "TRVTGT", "ZWK_ADD_USR_INCLUDE", "TRV_UNAMESTRUCT", "KQ_EXT", "KQ_NOWCHAR", "QVM_DEPFILE"}) {
        EXPECT_NE(page.find(variable), std::string::npos) << variable;
    }
    for (const char* status : {" 0 ", " 3 ", " 5 ", " 7 ", " 9 ", " -1 "}) {
        EXPECT_NE(page.find(status), std::string::npos) << status;
    }
}

TEST(ManualPages, InspectPageNamesUsage)
{
    const auto usage = qvm::testing::runInspect({});
    const std::set<std::string> subcommands = allMatches(usage.err, R"(\n  qvminspect ([a-z]+))");
    ASSERT_GE(subcommands.size(), 11u) << usage.err;
    const std::set<std::string> options = allMatches(usage.err, R"(-([A-Z_]+)\b)");
    ASSERT_GE(options.size(), 12u) << usage.err;
    const std::string page = rendered("qvminspect.1");
    for (const std::string& subcommand : subcommands) {
        EXPECT_NE(page.find(" " + subcommand + " "), std::string::npos) << subcommand;
    }
    for (const std::string& option : options) {
        EXPECT_NE(page.find("-" + option), std::string::npos) << option;
    }
}

}  // namespace
