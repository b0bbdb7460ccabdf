// Writing the generated program in-process: a script and its interface are
// analysed, every construct is numbered in walk order as the TDC and tracer
// writers would, and the program is written with the options a test gives.
#pragma once

#include "codegen/cprggen.h"
#include "codegen/tdcgen.h"
#include "codegen/tsfgen.h"
#include "script/ancgest.h"
#include "script/prtanac.h"
#include "script/sempti.h"
#include "script/stxpti.h"
#include "support/console.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>

namespace qvm::testing::program {

// The interface every test script is checked against.
inline const std::string kInterface =
    "int counter;\n"
    "int limit;\n"
    "int get_value(void);\n"
    "typedef int level_t;\n";

// The first lines of every test script: a script declares something before its scenarios.
inline const std::string kHead = "HEADER \"t\", \"1\", \"x\"\n#int bench;\n";

// The fixed stamp of in-process runs.
inline const std::string kDate = "Thu Jan  1 00:00:00 2026";
inline constexpr int kProcessId = 4242;

// A compiler's path found through PATH, "" when it is not installed.
inline std::string compilerPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string directories = path != nullptr ? path : "/usr/bin";
    for (std::size_t start = 0; start <= directories.size();) {
        const std::size_t end = std::min(directories.find(':', start), directories.size());
        const std::filesystem::path candidate = std::filesystem::path(directories.substr(start, end - start)) / name;
        if (std::filesystem::exists(candidate)) {
            return candidate.string();
        }
        start = end + 1;
    }
    return {};
}

// The expected whole programs and their scripts.
inline const std::string kGoldenDir = QVM_TESTDATA_DIR "/codegen/program/";

// A program with the keys of its supervision notices masked: the hash key,
// run key, size and checksum of a source file depend on where and how the
// file is stored.
inline std::string maskedRunKeys(std::string text)
{
    static const std::regex notice(R"(trv_notify_tsf \(&\(trv_ctx->trv_ctxrun\), ([0-9]+), -?[0-9]+, -?[0-9]+\);)");
    static const std::regex supervision(R"(/\* To_spv: ([0-9]+) -> \([0-9]+,[0-9]+\))");
    text = std::regex_replace(text, notice, "trv_notify_tsf (&(trv_ctx->trv_ctxrun), $1, HASH, KEY);");
    return std::regex_replace(text, supervision, "/* To_spv: $1 -> (SIZE,CRC)");
}

// Whether the TDC file gives the entry a record: the traced constructs.
inline bool traced(int code)
{
    using namespace script::sem;
    switch (code) {
    case ENT_SCENARIO: case ENT_INITIALIZATION: case ENT_TERMINATION: case ENT_EXCEPTION: case ENT_PROC:
    case ENT_CALL: case ENT_COMMENT: case ENT_ERROR: case ENT_EXIT: case ENT_SET: case ENT_UNSET: case ENT_PRINT:
    case ENT_TRACE_ON: case ENT_TRACE_OFF: case ENT_FLUSH_TRACE: case ENT_VAR: case ENT_SEND: case ENT_WAITTIL:
    case ENT_RENDEZVOUS: case ENT_INTERSEND: case ENT_INTERRECV: case ENT_NO_MESSAGE: case ENT_MESSAGE_DATE:
    case ENT_ADD_ID: case ENT_DEF_MESSAGE: case ENT_CLEAR_ID:
        return true;
    default:
        return false;
    }
}

// Numbers the constructs of a model in script order as the TDC writer
// does: a traced construct takes a begin number, the constructs inside it
// follow, then it takes an end number (IF, WHILE, CASE and WHEN are walked
// without numbers of their own). Scenarios and level blocks take two
// tracer elements each. Records start at 100, elements at 3.
inline void numberInWalkOrder(const script::sem::Scope& scope, qvm::codegen::Numbering& numbering, int& record, int& element)
{
    using namespace script::sem;
    for (const Entry& entry : scope.entries) {
        const bool numbered = traced(entry.code);
        if (numbered) {
            numbering.records.of(entry).begin = record++;
        }
        if (entry.code == ENT_SCENARIO || entry.code == ENT_INITIALIZATION || entry.code == ENT_TERMINATION ||
            entry.code == ENT_EXCEPTION) {
            numbering.elements.of(entry).begin = element;
            element += 2;
        }
        if (entry.descriptor != nullptr) {
            if (entry.descriptor->subScope != nullptr) {
                numberInWalkOrder(*entry.descriptor->subScope, numbering, record, element);
            }
            if (const auto* condition = entry.descriptor->find<ConditionData>();
                condition != nullptr && condition->elseScope != nullptr) {
                numberInWalkOrder(*condition->elseScope, numbering, record, element);
            }
        }
        if (numbered) {
            numbering.records.of(entry).end = record++;
        }
    }
}

class GenProg : public ConsoleTest {
protected:
    void SetUp() override
    {
        ConsoleTest::SetUp();
        script::resetCAnalysis();
        script::resetNativeTypes();
    }
    void TearDown() override
    {
        script::resetNativeTypes();
        script::resetCAnalysis();
        ConsoleTest::TearDown();
    }

    // Options of a plain run: trace level SCN, no allocation, main entry.
    qvm::codegen::ProgramOptions options() const
    {
        qvm::codegen::ProgramOptions o;
        o.programPath = (dir / "prog.c").string();
        o.rioPath = "prog.rio";
        o.probeHeaderPath = (dir / "prog.h").string();
        o.date = kDate;
        o.processId = kProcessId;
        o.traceLevel = 10;
        o.interfaceFiles = {"api.h"};
        return o;
    }

    struct Analysed {
        script::ParsedScript parsed;
        script::AnalysisResult result;
    };

    // The script (test.pts) analysed with the interface (api.h); nothing
    // when a report counted an error, which then fails the test.
    std::optional<Analysed> analyse(const std::string& script, const script::AnalysisOptions& analysisOptions = {},
                                    const std::string& interface = kInterface)
    {
        diag::resetRun();
        script::resetCAnalysis();
        script::resetNativeTypes();
        writeFile(dir / "api.h", interface);
        writeFile(dir / "test.pts", script);
        script::startCAnalysis(script::CModeNeither, {}, {}, {});
        script::declareIncludedFile((dir / "api.h").string());
        Analysed analysed{script::parseScript((dir / "test.pts").string(), {}), {}};
        if (diag::errorCount() == 0) {
            script::AnalysisOptions analysis = analysisOptions;
            analysis.scriptFlags = analysed.parsed.scriptFlags;
            analysed.result = script::analyseScript(analysed.parsed.root, analysed.parsed.sourceFiles, analysis);
        }
        script::endCAnalysis();
        if (diag::errorCount() != 0) {
            ADD_FAILURE() << console;
            return std::nullopt;
        }
        return analysed;
    }

    // The generated program of the script, or "" when the analysis reported
    // an error. The instance option and the scenario selection are those
    // of the analysis.
    std::string generate(const std::string& script, qvm::codegen::ProgramOptions o,
                         const script::AnalysisOptions& analysisOptions = {}, const std::string& interface = kInterface)
    {
        const std::optional<Analysed> analysed = analyse(script, analysisOptions, interface);
        if (!analysed) {
            return {};
        }
        const script::AnalysisResult& result = analysed->result;
        o.instanceMode = result.instanceMode;
        o.instanceNumber = result.instanceNumber;
        o.timerCount = result.timerCount;
        if (result.instanceMode == 1) {
            o.instanceName = analysisOptions.instance;
        }
        qvm::codegen::Numbering numbering;
        {
            qvm::codegen::GeneratedFiles files;
            if (writersNumber) {
                numberByTheWriters(files, numbering, *analysed, o);
            } else {
                int record = 100;
                int element = 3;
                numberInWalkOrder(result.model->global(), numbering, record, element);
            }
            qvm::codegen::writeProgram(files, numbering, *result.model, analysed->parsed.sourceFiles, o);
            files.commit();
        }
        std::string text = readFile(o.programPath);
        // The directory of the run is not part of what is compared.
        for (std::size_t at = text.find(dir.path().string()); at != std::string::npos;
             at = text.find(dir.path().string(), at)) {
            text.replace(at, dir.path().string().size(), "DIR");
        }
        return text;
    }

    std::string generate(const std::string& script) { return generate(script, options()); }

    // The numbers the TDC and tracer structure writers give, as in a run of
    // the preprocessor (the header records come first: constructs start at
    // 7 for a script of one file; elements at 3).
    void numberByTheWriters(qvm::codegen::GeneratedFiles& files, qvm::codegen::Numbering& numbering,
                            const Analysed& analysed, const qvm::codegen::ProgramOptions& o)
    {
        qvm::codegen::TdcRun run;
        run.scriptPath = (dir / "test.pts").string();
        run.tdcPath = (dir / "prog.tdc").string();
        run.probeHeaderPath = o.probeHeaderPath;
        run.sourceFiles = &analysed.parsed.sourceFiles;
        run.dateText = o.date;
        run.instanceMode = analysed.result.instanceMode;
        run.traceLevel = o.traceLevel;
        run.model = analysed.result.model.get();
        qvm::codegen::writeTdc(files, numbering, run);
        const qvm::codegen::TracerInput input{(dir / "prog_dyn.tsf").string(), &analysed.parsed.sourceFiles,
                                              analysed.result.model.get(), o.date, o.processId};
        qvm::codegen::writeTracerFile(files, numbering, input);
    }

    // Numbers of the real writers instead of the walk-order ones.
    bool writersNumber = false;
    TempDir dir;
};

}  // namespace qvm::testing::program
