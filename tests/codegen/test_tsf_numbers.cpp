// The tracer structure writer in-process: the element numbers it leaves for
// the program writer, the TDC numbers it links to, and the section keys.
#include "codegen/tsfgen.h"
#include "script/ancgest.h"
#include "script/prtanac.h"
#include "script/sempti.h"
#include "script/stxpti.h"
#include "support/console.h"
#include "support/process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace sem = qvm::script::sem;
using namespace qvm;
using ::testing::HasSubstr;

constexpr int kProcessId = 4242;
const std::string kDate = "Sun Dec  6 04:12:12 2026";

// A script analysed in-process, with its tracer structure file written.
class TracerWriter : public qvm::testing::ConsoleTest {
protected:
    void analyse(const std::string& interface, const std::string& script)
    {
        qvm::testing::writeFile(dir_ / "api.h", interface);
        qvm::testing::writeFile(dir_ / "main.pts", script);
        script::resetCAnalysis();
        script::resetNativeTypes();
        script::startCAnalysis(script::CModeNeither, {}, {}, {});
        script::declareIncludedFile((dir_ / "api.h").string());
        parsed_ = script::parseScript((dir_ / "main.pts").string(), {});
        script::AnalysisOptions options;
        options.scriptFlags = parsed_.scriptFlags;
        analysed_ = script::analyseScript(parsed_.root, parsed_.sourceFiles, options);
        script::endCAnalysis();
        ASSERT_EQ(diag::errorCount(), 0u) << console;
    }

    std::string write()
    {
        codegen::GeneratedFiles files;
        const codegen::TracerInput input{(dir_ / "t_dyn.tsf").string(), &parsed_.sourceFiles, analysed_.model.get(),
                                         kDate, kProcessId};
        codegen::writeTracerFile(files, numbering_, input);
        files.commit();
        return qvm::testing::readFile(dir_ / "t_dyn.tsf");
    }

    // The entries of a code, in the order of the model, scopes walked depth first.
    std::vector<const sem::Entry*> entries(int code) const
    {
        std::vector<const sem::Entry*> found;
        collect(analysed_.model->global(), code, found);
        return found;
    }

    static void collect(const sem::Scope& scope, int code, std::vector<const sem::Entry*>& found)
    {
        for (const sem::Entry& entry : scope.entries) {
            if (entry.code == code) {
                found.push_back(&entry);
            }
            if (entry.descriptor != nullptr && entry.descriptor->subScope != nullptr) {
                collect(*entry.descriptor->subScope, code, found);
            }
        }
    }

    qvm::testing::TempDir dir_;
    script::ParsedScript parsed_;
    script::AnalysisResult analysed_;
    codegen::Numbering numbering_;
};

const std::string kInterface = "typedef struct { int code; } ev_t;\ntypedef int id_t;\nint flag;\n";

const std::string kScript = "HEADER \"a\", \"b\", \"c\"\n"
                            "MESSAGE ev_t : m\nCOMMTYPE link IS id_t\nCHANNEL link : c\n"
                            "PROCSEND ev_t : msg ON link : id\n  EXIT\nEND PROCSEND\n"
                            "SCENARIO outer\n"
                            "  INITIALIZATION\n    RENDEZVOUS ready\n  END INITIALIZATION\n"
                            "  SCENARIO inner\n"
                            "    SEND(m, c)\n    WAITTIL(flag == 1, WTIME > 5)\n"
                            "    INTERSEND(flag, \"peer\")\n    INTERRECV(&flag)\n"
                            "  END SCENARIO\n"
                            "END SCENARIO\n";

TEST_F(TracerWriter, StoresElementNumbers)
{
    analyse(kInterface, kScript);
    const std::string text = write();
    const auto scenarios = entries(sem::ENT_SCENARIO);
    ASSERT_EQ(scenarios.size(), 3u);  // the root scenario, outer, inner
    const auto number = [&](const sem::Entry* entry) { return numbering_.elements.find(*entry); };
    // The root scenario has no name: no element, no number.
    EXPECT_EQ(number(scenarios[0]).begin, -1);
    EXPECT_EQ(number(scenarios[1]).begin, 3);
    EXPECT_EQ(number(scenarios[1]).end, 4);
    EXPECT_EQ(number(entries(sem::ENT_INITIALIZATION)[0]).begin, 5);
    EXPECT_EQ(number(entries(sem::ENT_INITIALIZATION)[0]).end, 6);
    EXPECT_EQ(number(entries(sem::ENT_RENDEZVOUS)[0]).begin, 7);
    EXPECT_EQ(number(scenarios[2]).begin, 8);
    EXPECT_EQ(number(entries(sem::ENT_SEND)[0]).begin, 10);
    EXPECT_THAT(text, HasSubstr("ST 383\nLK 0\nMS 10 \"ev_t\"\n"));  // the message type sent
    // WAITTIL: begin 11, message step 12 (the number kept), end 13.
    EXPECT_EQ(number(entries(sem::ENT_WAITTIL)[0]).begin, 12);
    EXPECT_EQ(number(entries(sem::ENT_WAITTIL)[0]).end, 13);
    EXPECT_EQ(number(entries(sem::ENT_INTERSEND)[0]).begin, 14);
    EXPECT_EQ(number(entries(sem::ENT_INTERRECV)[0]).begin, 15);
}

TEST_F(TracerWriter, LinksAreTheTdcRecordNumbers)
{
    analyse(kInterface, kScript);
    const auto scenarios = entries(sem::ENT_SCENARIO);
    numbering_.records.of(*scenarios[1]) = {20, 40};
    const sem::Entry& waittil = *entries(sem::ENT_WAITTIL)[0];
    numbering_.records.of(waittil) = {30, 32};
    const std::string text = write();
    EXPECT_THAT(text, HasSubstr("ST 390\nLK 20\nTX 3 \"outer\"\nST 393\nLK 40\nTX 4 \"outer\"\n"));
    EXPECT_THAT(text, HasSubstr("ST 433\nLK 30\nTX 11 \"WAITTIL\"\nST 380\nLK 30\nTX 12 \"...\"\n"
                                "ST 433\nLK 32\nTX 13 \"END flag == 1\"\n"));
    // A construct the TDC writer did not number links to 0.
    EXPECT_THAT(text, HasSubstr("ST 390\nLK 0\nTX 8 \"inner\"\n"));
}

TEST_F(TracerWriter, SectionKeyHashAndRunKey)
{
    analyse(kInterface, kScript);
    const script::SourceFileRecord& file = parsed_.sourceFiles.front();
    long long dateSum = 0;
    for (const char c : kDate) {
        dateSum += c - 32;
    }
    const long long runKey = kProcessId + file.checksum + dateSum;
    EXPECT_EQ(codegen::tracerRunKey(file, kProcessId, kDate), runKey);
    EXPECT_THAT(write(), HasSubstr("\nID " + std::to_string(file.hashKey) + " " + std::to_string(runKey) + "\n"));
}

// A script whose elements take far more than the writer gathers at a time:
// every element line comes once, whole and in order, before the end of its
// section.
TEST_F(TracerWriter, ManyElementsWholeInOrder)
{
    constexpr int kScenarios = 3000;
    std::string script = "HEADER \"a\", \"b\", \"c\"\n#int w;\n";
    for (int i = 0; i < kScenarios; ++i) {
        script += "SCENARIO s" + std::to_string(i) + "\n  PAUSE 1\nEND SCENARIO\n";
    }
    analyse(kInterface, script);
    const std::string text = write();
    std::vector<std::string> elements;
    for (const std::string& line : qvm::testing::lines(text)) {
        if (line.starts_with("TX ")) {
            elements.push_back(line);
        }
    }
    ASSERT_EQ(elements.size(), 2u * kScenarios);
    for (int i = 0; i < kScenarios; ++i) {
        const std::string name = "\"s" + std::to_string(i) + "\"";
        EXPECT_EQ(elements[2 * i], "TX " + std::to_string(3 + 2 * i) + " " + name);
        EXPECT_EQ(elements[2 * i + 1], "TX " + std::to_string(4 + 2 * i) + " " + name);
    }
    EXPECT_TRUE(text.ends_with(elements.back() + "\nED\n"));
}

// A line longer than 4095 characters is reported once and cut there.
TEST_F(TracerWriter, OverlongLinesCutReported)
{
    const std::string condition = "flag == " + std::string(4100, '1');
    analyse(kInterface, "HEADER \"a\", \"b\", \"c\"\n#int w;\nSCENARIO s\n  WAITTIL(" + condition +
                            ", WTIME > 5)\nEND SCENARIO\n");
    const std::string text = write();
    EXPECT_EQ(qvm::testing::occurrences(console, "Fenwir-W-SIZBUFOVL"), 1u) << console;
    EXPECT_EQ(diag::warningCount(), 1u);
    EXPECT_THAT(text, HasSubstr("\n" + ("TX 7 \"END " + condition).substr(0, 4095) + "\nED\n"));
}

}  // namespace
