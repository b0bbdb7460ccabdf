// The message line, the counters, the list file and the end-of-run summary,
// exercised in-process with the console captured.
#include "diag/catalog.h"
#include "diag/i18nerrgest.h"
#include "support/console.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

namespace {

using namespace qvm;
using qvm::testing::TempDir;
using qvm::testing::readFile;

class Diagnostics : public qvm::testing::ConsoleTest {};

TEST_F(Diagnostics, LocatedErrorPrefix)
{
    diag::reportLocated(diag::Error, "UNEXPTEOF", {}, "demo.pts", 12);
    EXPECT_EQ(console, "Fenwir-E-UNEXPTEOF,  [demo.pts:12] Unexpected end of file\n");
    EXPECT_EQ(diag::errorCount(), 1u);
}

TEST_F(Diagnostics, PositionPrefixForms)
{
    EXPECT_EQ(diag::positionPrefix("a.h", 0), "[a.h:0] ");
    EXPECT_EQ(diag::positionPrefix("", 7), "[7] ");
    EXPECT_EQ(diag::positionPrefix("", 0), " ");
}

TEST_F(Diagnostics, CurrentPositionLocates)
{
    diag::setCurrentFile("inc\\part.pts");
    diag::setCurrentLine(40);
    diag::warningAt("UNKCLPROC", "p1");
    EXPECT_EQ(console, "Fenwir-W-UNKCLPROC,  [inc\\part.pts:40] Unknown procedure 'p1'\n");
    EXPECT_EQ(diag::warningCount(), 1u);
}

TEST_F(Diagnostics, SecondArgLowestPlaceholder)
{
    // "%1Unknown procedure '%2'" given only a second argument.
    diag::error("UNKCLPROC", {}, "p2");
    EXPECT_EQ(console, "Fenwir-E-UNKCLPROC,  p2Unknown procedure ''\n");
}

TEST_F(Diagnostics, LeftoverPlaceholdersGone)
{
    diag::information("STARTEXEC");
    diag::information("ENDNOENWR");
    EXPECT_EQ(console, "Fenwir-I-STARTEXEC,  \nFenwir-I-ENDNOENWR,  End of execution with 0 error and 0 warning\n");
}

TEST_F(Diagnostics, UnknownCodePrefixCounted)
{
    diag::warning("WARNERR", "text");
    diag::information("COPYRIGHT");
    EXPECT_EQ(console, "Fenwir-W-WARNERR,  \nFenwir-I-COPYRIGHT,  \n");
    EXPECT_EQ(diag::warningCount(), 1u);
}

TEST_F(Diagnostics, RunTimeCodeLikeAnyOther)
{
    const std::string known = "UNKCLPROC";
    const std::string misspelt = "UNKCLPROK";
    diag::warning(diag::MessageCode::fromText(known), {}, "p3");
    diag::error(diag::MessageCode::fromText(misspelt), "x");
    EXPECT_EQ(console, "Fenwir-W-UNKCLPROC,  p3Unknown procedure ''\nFenwir-E-UNKCLPROK,  \n");
    EXPECT_TRUE(diag::MessageCode::fromText(known).known());
    EXPECT_FALSE(diag::MessageCode::fromText(misspelt).known());
    EXPECT_EQ(diag::errorCount(), 1u);
}

// The code list the compiler checks against is generated from the catalog
// sources; it must hold exactly the codes the running catalogs register.
TEST(MessageCodes, CheckListMatchesCatalogs)
{
    std::set<std::string_view> registered;
    for (const auto& table : {diag::qvmCatalog(), diag::bibliCatalog(), diag::modbasCatalog(), diag::anaccppCatalog()}) {
        for (const diag::CatalogEntry& entry : table) {
            registered.insert(entry.code);
        }
    }
    const std::set<std::string_view> checked(std::begin(diag::generated::kCatalogCodes),
                                             std::end(diag::generated::kCatalogCodes));
    EXPECT_EQ(checked, registered);
    for (std::string_view withoutText : diag::kCodesWithoutText) {
        EXPECT_FALSE(registered.contains(withoutText)) << withoutText;
    }
}

TEST_F(Diagnostics, LaterCatalogTextWins)
{
    diag::information("NOMESSDEF", "X");
    diag::information("ERRINTFCT", "[f:1] ", "xstrcat");
    EXPECT_EQ(console,
              "Fenwir-I-NOMESSDEF,  Undefined message for code number X\n"
              "Fenwir-I-ERRINTFCT,  [f:1] Internal error in the function xstrcat\n");
}

TEST_F(Diagnostics, PlainStringsBlankMissing)
{
    EXPECT_EQ(statusOf([] { diag::fatalC("FICERROPN"); }), 7);
    EXPECT_EQ(console, "Fenwir-F-FICERROPN,  File   opening problem\n");
}

TEST_F(Diagnostics, SummaryTextsAndStatuses)
{
    EXPECT_EQ(statusOf([] { diag::endOfRun(); }), 0);
    EXPECT_EQ(console, "Fenwir-I-ENDNOENWR,  End of execution with 0 error and 0 warning\n");

    diag::resetRun();
    console.clear();
    diag::warning("WARNERR");
    diag::warning("WARNERR");
    EXPECT_EQ(statusOf([] { diag::endOfRun(); }), 3);
    EXPECT_EQ(qvm::testing::lines(console).back(), "Fenwir-I-ENDNOEWAR,  End of execution with 2 warning(s)");

    diag::resetRun();
    console.clear();
    diag::error("UNEXPTEOF");
    EXPECT_EQ(statusOf([] { diag::endOfRun(); }), 5);
    EXPECT_EQ(qvm::testing::lines(console).back(), "Fenwir-I-ENDERRNWR,  End of execution with 1 error(s)");

    diag::resetRun();
    console.clear();
    diag::error("UNEXPTEOF");
    diag::error("UNEXPTEOF");
    diag::warning("WARNERR");
    EXPECT_EQ(statusOf([] { diag::endOfRun(); }), 5);
    EXPECT_EQ(qvm::testing::lines(console).back(),
              "Fenwir-I-ENDERRWAR,  End of execution with 2 error(s) and 1 warning(s)");
}

TEST_F(Diagnostics, FatalClosesTheListFile)
{
    TempDir dir;
    const auto list = (dir / "run.lis").string();
    diag::openListFile(list, true);
    EXPECT_EQ(statusOf([] { diag::fatal("COMMFATAL"); }), 7);
    EXPECT_EQ(readFile(list), "Fenwir-F-COMMFATAL,  Invalid command line\n");

    diag::openListFile(list, true);
    EXPECT_EQ(statusOf([] { diag::internal("ERRINTFCT", "", "here"); }), 9);
    EXPECT_EQ(readFile(list), "Fenwir-S-ERRINTFCT,  hereInternal error in the function \n");
}

TEST_F(Diagnostics, ListFileWhenConsoleSilent)
{
    TempDir dir;
    const auto list = (dir / "quiet.lis").string();
    diag::information("STARTEXEC", "A", "B");
    diag::openListFile(list, false);
    diag::warning("WARNERR");
    diag::reportLocated(diag::Error, "UNEXPTEOF", {}, "q.pts", 3);
    EXPECT_EQ(statusOf([] { diag::endOfRun(); }), 5);
    EXPECT_EQ(console, "Fenwir-I-STARTEXEC,  AB\n");
    EXPECT_EQ(readFile(list),
              "Fenwir-W-WARNERR,  \n"
              "Fenwir-E-UNEXPTEOF,  [q.pts:3] Unexpected end of file\n"
              "Fenwir-I-ENDERRWAR,  End of execution with 1 error(s) and 1 warning(s)\n");
}

TEST_F(Diagnostics, SystemFailureBypassesAll)
{
    TempDir dir;
    const auto list = (dir / "s.lis").string();
    diag::openListFile(list, true);
    EXPECT_EQ(statusOf([] { diag::systemFailure("fclose"); }), 7);
    EXPECT_EQ(console, "FATAL ERROR on 'fclose',\n Please contact your administrative.\n");
    EXPECT_EQ(readFile(list), "");
}

}  // namespace
