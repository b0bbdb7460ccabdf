// Start-up of the real program: the catalog directory and translations.
#include "support/process.h"

#include <gtest/gtest.h>

namespace {

using qvm::testing::runPrepro;
using qvm::testing::TempDir;

TEST(Startup, MissingCatalogDirMinusOne)
{
    TempDir dir;
    const auto result = runPrepro({"demo", "demo.h", "out"}, {{"FENWIRDIR", dir.path().string()}});
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, "Fatal Error: directory doesn't exist '" + dir.path().string() + "/lib/locale'\n");
}

TEST(Startup, TranslationReplacesOnlyIt)
{
    TempDir dir;
    qvm::testing::writeSampleRun(dir.path());
    const auto result = runPrepro({"demo", "demo.h", "out"},
                                  {{"FENWIRDIR", std::string(QVM_FRENCH_FENWIRDIR)},
                                   {"LANG", std::string("fr_FR.UTF-8")}},
                                  dir.path());
    const auto lines = qvm::testing::lines(result.err);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front().rfind("Fenwir-I-STARTEXEC,  Fenwir QVM test script preprocessor version ", 0), 0u);
    EXPECT_EQ(lines.back(), "Fenwir-I-ENDNOENWR,  Fin d'execution sans erreur ni avertissement");
    EXPECT_EQ(result.status, 0);
}

TEST(Startup, EnglishWithoutTranslation)
{
    TempDir dir;
    qvm::testing::writeSampleRun(dir.path());
    const auto result = runPrepro({"demo", "demo.h", "out"}, {{"LANG", std::string("fr_FR.UTF-8")}}, dir.path());
    EXPECT_EQ(qvm::testing::lines(result.err).back(),
              "Fenwir-I-ENDNOENWR,  End of execution with 0 error and 0 warning");
}

}  // namespace
