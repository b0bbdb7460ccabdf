// The operations of the semantic model in one process: where each insertion
// puts its entry, the lookups, the internal checks no script can reach, and
// an analysis that runs twice with the same result.
#include "script/ancgest.h"
#include "script/prtanac.h"
#include "script/semmodel.h"
#include "script/sempti.h"
#include "script/stxpti.h"
#include "support/console.h"
#include "support/process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace qvm::script;
using namespace qvm::script::sem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class ModelOps : public qvm::testing::ConsoleTest {
protected:
    Origin at(int line) { return Origin{"ops.pts", 1, line}; }

    // Names of a scope's entries, in order.
    static std::vector<std::string> names(const Scope& scope)
    {
        std::vector<std::string> found;
        for (const Entry& entry : scope.entries) {
            found.emplace_back(entry.name);
        }
        return found;
    }

    Model model;
};

TEST_F(ModelOps, InsertionsKeepTheirPlaces)
{
    Scope& global = model.global();
    model.append(&global, ENT_SCRIPT, "script", at(1));
    model.append(&global, ENT_HASH_LINE, "decl", at(2));
    Entry& scenario = model.append(&global, ENT_SCENARIO, "s1", at(3));
    model.append(&global, ENT_SCENARIO, "s2", at(4));
    model.insertBeforeFirstScenario(&global, ENT_INITIALIZATION, "init", at(5));
    model.insertBeforeFirstScenario(&global, ENT_TERMINATION, "term", at(6));
    model.prepend(&global, ENT_WAITTIL_REF, "ref", at(7));
    EXPECT_THAT(names(global), ElementsAre("script", "ref", "decl", "init", "term", "s1", "s2"));
    EXPECT_EQ(Model::findScenario(global, "s2")->line, 4);
    EXPECT_TRUE(Model::holdsCode(global, ENT_TERMINATION));
    EXPECT_FALSE(Model::holdsCode(global, ENT_EXCEPTION));

    // Ordered by key, equal keys in their order of arrival.
    Scope& values = model.makeScope(model.attach(scenario, DSC_SCENARIO), &global);
    for (const auto& [name, key] : std::vector<std::pair<std::string, int>>{{"k5", 5}, {"k1", 1}, {"k5b", 5}, {"k3", 3}}) {
        model.insertOrdered(&values, ENT_ELEMENT_VALUE, name, DSC_VALUE, key, at(8));
    }
    EXPECT_THAT(names(values), ElementsAre("k1", "k3", "k5", "k5b"));
}

// A long script makes far more entries, descriptors and scopes than one
// block of the model holds: they keep their addresses and their order.
TEST_F(ModelOps, EntriesKeepAddressAndOrder)
{
    constexpr int kScenarios = 40000;
    Scope& global = model.global();
    std::vector<const Entry*> made;
    std::vector<const Scope*> bodies;
    for (int i = 0; i < kScenarios; ++i) {
        Entry& scenario = model.append(&global, ENT_SCENARIO, "s" + std::to_string(i), at(i + 1));
        Scope& body = model.makeScope(model.attach(scenario, DSC_SCENARIO), &global);
        model.append(&body, ENT_PAUSE, "p", at(i + 1));
        made.push_back(&scenario);
        bodies.push_back(&body);
    }
    int index = 0;
    for (const Entry& entry : global.entries) {
        ASSERT_EQ(&entry, made[static_cast<std::size_t>(index)]);
        ASSERT_EQ(entry.line, index + 1);
        ++index;
    }
    EXPECT_EQ(index, kScenarios);
    EXPECT_EQ(Model::findScenario(global, "s39999"), made.back());
    EXPECT_EQ(bodies.back()->entries.first()->name, "p");
}

TEST_F(ModelOps, HiddenVarsAtFunctionHead)
{
    Scope& global = model.global();
    Entry& procedure = model.append(&global, ENT_PROC, "p", at(1));
    Scope& body = model.makeScope(model.attach(procedure, DSC_PROC), &global);
    model.append(&body, ENT_PARAM, "a", at(1));
    model.append(&body, ENT_PAUSE, "first", at(2));
    Entry& loop = model.append(&body, ENT_WHILE, "loop", at(3));
    Scope& loopBody = model.makeScope(model.attach(loop, DSC_WHILE), &body);
    Entry& test = model.append(&loopBody, ENT_IF, "test", at(4));
    Scope& thenBody = model.makeScope(model.attach(test, DSC_IF), &loopBody);
    model.prependToBlock(&thenBody, ENT_RETURN_VAR, "trv_return_0", at(5));
    EXPECT_THAT(names(body), ElementsAre("a", "trv_return_0", "first", "loop"));
    EXPECT_TRUE(thenBody.entries.empty());
    EXPECT_EQ(model.findGlobal(ENT_PROC, "p"), &procedure);
    EXPECT_EQ(model.findGlobal(ENT_CALLBACK, "p"), nullptr);
}

// The analysis marks what it finds used itself, so that it can take the
// mark back; a lookup leaves the block as it is.
TEST_F(ModelOps, CallbackLookupFindsBlock)
{
    Scope& global = model.global();
    Entry& commtype = model.append(&global, ENT_COMMTYPE, "link", at(1));
    Entry& structure = model.append(&global, ENT_EVENT_STRUCT, "ev", at(2));
    Entry& callback = model.append(&global, ENT_CALLBACK, "ev_ON_link", at(3));
    auto& data = model.attach(callback, DSC_CALLBACK).as<CommBlockData>();
    data.commtype = &commtype;
    data.structure = &structure;
    model.registerCallback(callback);
    EXPECT_EQ(model.findProcsend(&commtype, &structure), nullptr);
    EXPECT_EQ(model.findCallback(&commtype, &structure), &callback);
    EXPECT_FALSE(data.used);
    EXPECT_THAT(model.callbacksOf(&structure), ElementsAre(&callback));
    model.release();
    EXPECT_TRUE(model.global().entries.empty());
    EXPECT_EQ(model.findGlobal(ENT_COMMTYPE, "link"), nullptr);
}

// Many entries and descriptors, interleaved in one scope and spread over
// nested scopes: each keeps its address and its neighbours, and a released
// model fills again the same way.
TEST_F(ModelOps, LargeModelsAcrossReleases)
{
    for (int round = 0; round < 2; ++round) {
        Scope& global = model.global();
        Entry& script = model.append(&global, ENT_SCRIPT, "script", at(1));
        std::vector<Entry*> scenarios;
        std::vector<Entry*> pauses;
        for (int i = 0; i < 600; ++i) {
            Entry& scenario = model.append(&global, ENT_SCENARIO, "s" + std::to_string(i), at(i + 2));
            Scope& body = model.makeScope(model.attach(scenario, DSC_SCENARIO), &global);
            pauses.push_back(&model.append(&body, ENT_PAUSE, std::to_string(i), at(i + 2)));
            model.prepend(&global, ENT_WAITTIL_REF, "r" + std::to_string(i), at(i + 2));
            scenarios.push_back(&scenario);
        }
        EXPECT_EQ(global.entries.size(), 1201u);
        EXPECT_EQ(&*global.entries.begin(), &script);
        EXPECT_EQ(global.firstScenario(), scenarios.front());
        // The references came in at the head, each before the one before it.
        EXPECT_EQ(std::next(global.entries.begin())->name, "r599");
        EXPECT_EQ(std::prev(global.entries.end(), 601)->name, "r0");
        std::vector<const Entry*> backwards;
        for (auto it = global.entries.rbegin(); it != global.entries.rend() && backwards.size() < 600; ++it) {
            backwards.push_back(&*it);
        }
        EXPECT_TRUE(std::equal(backwards.begin(), backwards.end(), scenarios.rbegin()));
        for (std::size_t i = 0; i < scenarios.size(); ++i) {
            const Scope& body = *scenarios[i]->descriptor->subScope;
            ASSERT_EQ(body.last(), pauses[i]);
            EXPECT_EQ(body.ownerEntry(), scenarios[i]);
            EXPECT_EQ(pauses[i]->name, std::to_string(i));
        }
        model.release();
        EXPECT_TRUE(model.global().entries.empty());
        EXPECT_EQ(model.global().firstScenario(), nullptr);
        EXPECT_EQ(Model::findScenario(model.global(), "s0"), nullptr);
    }
}

TEST_F(ModelOps, BrokenModelsAreInternalErrors)
{
    EXPECT_EQ(statusOf([&] { model.append(nullptr, ENT_ERROR, {}, at(3)); }), 9);
    EXPECT_EQ(console, "Fenwir-S-SCPBADPTR,  [ops.pts:3] Null scope pointer.\n");
    console.clear();
    EXPECT_EQ(statusOf([&] { model.append(&model.global(), 84, {}, at(4)); }), 9);
    EXPECT_THAT(console, HasSubstr("Fenwir-S-ENTCODUNK,  [ops.pts:4] Unknown semantic entry code '84'."));
    console.clear();
    Entry& entry = model.append(&model.global(), ENT_ERROR, {}, at(5));
    EXPECT_EQ(statusOf([&] { model.attach(entry, 100); }), 9);
    EXPECT_THAT(console, HasSubstr("Fenwir-S-DSCCODUNK,  [ops.pts:5] Unknown semantic descriptor code '100'."));
    console.clear();
    // A descriptor code outside the known set is found again when the model is freed.
    model.attach(entry, DSC_SCRIPT).code = 103;
    EXPECT_EQ(statusOf([&] { model.release(); }), 9);
    EXPECT_THAT(console, HasSubstr("DSCCODUNK,  [ops.pts:5] Unknown semantic descriptor code '103'."));
}

TEST(SemAnalysis, WrongKindIsInternal)
{
    qvm::diag::registerBuiltinCatalogs();
    qvm::diag::resetRun();
    std::string console;
    qvm::diag::setConsoleSink([&](std::string_view text) { console += text; });
    const auto status = [](const SyntaxNode* root) {
        try {
            analyseScript(root, {}, {});
        } catch (const qvm::RunAbort& abort) {
            return abort.status;
        }
        return -1;
    };
    SyntaxTree tree;
    EXPECT_EQ(status(nullptr), 9);
    EXPECT_EQ(console, "Fenwir-S-STXNODNIL,   Null syntax node. Ask for maintenance help.\n");
    console.clear();
    EXPECT_EQ(status(tree.make(STX_HEADER)), 9);
    EXPECT_THAT(console, HasSubstr("STXNODNWT"));
    console.clear();
    resetCAnalysis();
    EXPECT_EQ(status(tree.make(STX_SCRIPT)), 9);
    EXPECT_THAT(console, HasSubstr("STXNODNIL"));
    qvm::diag::setConsoleSink(nullptr);
    qvm::diag::resetRun();
}

// Everything a run keeps lives in the analysis it makes: a second run over
// the same script in the same process gives the same model and no report.
TEST(SemAnalysis, TwiceInOneProcessSame)
{
    qvm::testing::TempDir dir;
    qvm::testing::writeFile(dir / "api.h", "typedef struct { int code; } ev_t;\ntypedef int id_t;\n");
    qvm::testing::writeFile(dir / "twice.pts",
                            "HEADER \"a\", \"b\", \"c\"\nDECLARE_INSTANCE one, two\nMESSAGE ev_t : m\n"
                            "COMMTYPE link IS id_t\nCHANNEL link : c\nPROCSEND ev_t : msg ON link : id\n  EXIT\n"
                            "END PROCSEND\nTIMER t\nPROC p()\n  TIMER u\nEND PROC\n"
                            "SCENARIO s\n  CALL p()\n  SEND(m, c)\n  WAITTIL(1, WTIME > 5)\nEND SCENARIO\n");
    qvm::diag::registerBuiltinCatalogs();
    std::vector<std::string> dumps;
    for (int run = 0; run < 2; ++run) {
        qvm::diag::resetRun();
        resetCAnalysis();
        resetNativeTypes();
        startCAnalysis(CModeNeither, {}, {}, {});
        declareIncludedFile((dir / "api.h").string());
        const ParsedScript parsed = parseScript((dir / "twice.pts").string(), {});
        AnalysisOptions options;
        options.instance = "two";
        options.scriptFlags = parsed.scriptFlags;
        const AnalysisResult result = analyseScript(parsed.root, parsed.sourceFiles, options);
        EXPECT_EQ(qvm::diag::errorCount() + qvm::diag::warningCount(), 0u);
        EXPECT_EQ(result.instanceNumber, 2);
        EXPECT_EQ(result.timerCount, 2);
        EXPECT_EQ(result.model->commtypeCounter(), 1);
        EXPECT_EQ(result.model->highestChannelIndex(), 0);
        EXPECT_EQ(result.model->eventStructCount(), 1);
        dumps.push_back(dumpModel(*result.model, result.instanceMode, result.instanceNumber, result.timerCount));
        endCAnalysis();
    }
    EXPECT_EQ(dumps[0], dumps[1]);
    EXPECT_THAT(dumps[0], HasSubstr("ENT_SEND\tm\t"));
    qvm::diag::resetRun();
}

}  // namespace
