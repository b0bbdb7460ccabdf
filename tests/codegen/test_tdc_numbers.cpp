// The numbers the TDC writer keeps for the later writers, checked in-process
// against the file it wrote: every begin and end number kept for an entry of
// the model or a node of a value tree names a record of the right key, and
// every construct record of the file is such a number.
#include "test_tdc_support.h"

#include "codegen/tdcgen.h"
#include "script/ancgest.h"
#include "script/prtanac.h"
#include "script/sempti.h"
#include "script/stxpti.h"
#include "support/console.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

namespace {

using namespace qvm::testing::tdc;
using namespace qvm::script::sem;
using qvm::codegen::ItemNumbers;
using qvm::codegen::KeptTreeNumbers;
using qvm::codegen::NumberTable;
using qvm::script::ValueKind;
using qvm::script::ValueNode;
using ::testing::HasSubstr;

// A record of the file: its key letters and its text after the key.
struct Record {
    std::string letters;
    std::string fields;
};

std::map<int, Record> recordsOf(const std::string& tdc)
{
    std::map<int, Record> records;
    for (const std::string& line : qvm::testing::lines(tdc)) {
        const std::size_t blank = line.find(' ');
        const std::string key = line.substr(0, blank);
        const std::size_t digits = key.find_first_of("0123456789");
        if (digits == std::string::npos) {
            continue;  // the banner
        }
        records[std::stoi(key.substr(digits))] = {key.substr(0, digits), line.substr(blank + 1)};
    }
    return records;
}

// The key letters a construct's records may carry.
std::set<std::string> lettersOf(const Entry& entry)
{
    switch (entry.code) {
    case ENT_SCRIPT: return {"E"};
    case ENT_SCENARIO: return {"S"};
    case ENT_INITIALIZATION:
    case ENT_TERMINATION:
    case ENT_EXCEPTION: return {"Z"};
    case ENT_PROC: return {"P"};
    case ENT_CALL: return {"A"};
    case ENT_ARG: return {"R"};
    case ENT_SEND: return {"SD"};
    case ENT_WAITTIL: return {"W"};
    case ENT_MATCH_PIECE: return {"Y"};
    case ENT_VAR: return {"K"};
    case ENT_EVENT_STRUCT: return {"T"};
    case ENT_DEF_MESSAGE: return {"V"};
    case ENT_CHANNEL: return {"CN"};
    case ENT_ERROR:
    case ENT_MESSAGE_DATE:
    case ENT_NO_MESSAGE:
    case ENT_ADD_ID: return {"O"};
    case ENT_EXIT: return {"Q"};
    case ENT_SET: return {"J"};
    case ENT_UNSET: return {"U"};
    case ENT_COMMENT: return {"C"};
    case ENT_RENDEZVOUS: return {"N"};
    case ENT_PRINT: return {"M"};
    case ENT_FLUSH_TRACE: return {"FT"};
    case ENT_TRACE_ON: return {"TN"};
    case ENT_TRACE_OFF: return {"TF"};
    case ENT_INTERSEND: return {"ID"};
    case ENT_INTERRECV: return {"IC"};
    case ENT_AGGREGATE: return {entry.data<ValueData>().node->kind == ValueKind::Array ? "B" : "D"};
    case ENT_FIELD_VALUE:
    case ENT_UNION_VALUE:
    case ENT_ELEMENT_VALUE:
    case ENT_OTHERS_VALUE: return {"D", "B", "L", "I"};
    case ENT_SCALAR_VALUE:
    case ENT_BOUNDED_VALUE: return {"I"};
    default: return {};
    }
}

std::set<std::string> lettersOf(const ValueNode& node)
{
    switch (node.kind) {
    case ValueKind::Structure:
    case ValueKind::Union: return {"D"};
    case ValueKind::Array: return {"B"};
    case ValueKind::IndexRange: return {"L", "B", "I"};
    default: return {"I"};
    }
}

// Walks the model and its value trees, checking every number kept.
class NumberCheck {
public:
    NumberCheck(const NumberTable& table, const std::map<int, Record>& records) : table(table), records(records) {}

    void scope(const Scope* scope)
    {
        if (scope == nullptr) {
            return;
        }
        for (const Entry& entry : scope->entries) {
            this->entry(entry);
        }
    }

    std::set<int> kept;  // every number kept, and the result records of calls

private:
    void entry(const Entry& entry)
    {
        const std::string what = std::string(entryCodeName(entry.code)) + " " + entry.name;
        check(table.find(entry), lettersOf(entry), what);
        const ItemNumbers numbers = table.find(entry);
        if (entry.code == ENT_CALL && !entry.data<CallData>().result.empty() && numbers.end >= 0) {
            EXPECT_EQ(records.at(numbers.end - 1).letters, "R") << what;
            EXPECT_EQ(records.at(numbers.end - 1).fields.rfind("\"" + entry.name + "(", 0), 0u) << what;
            kept.insert(numbers.end - 1);
        }
        if (entry.code == ENT_EVENT_STRUCT && entry.data<EventStructData>().receivedCheck) {
            tree(entry.data<EventStructData>().receivedCheck->root());
        }
        if (entry.code == ENT_DEF_MESSAGE && entry.data<DefMessageData>().tree && numbers.begin >= 0) {
            tree(entry.data<DefMessageData>().tree.root());
        }
        scope(entry.descriptor != nullptr ? entry.descriptor->subScope : nullptr);
        if (entry.code == ENT_IF) {
            scope(entry.data<ConditionData>().elseScope);
        }
    }

    void tree(const ValueNode& root) { node(table.findTree(root), root); }

    void node(const KeptTreeNumbers& tree, const ValueNode& value)
    {
        check(tree.find(value), lettersOf(value), "value " + std::string(value.fieldName()));
        for (const ValueNode& child : value.children()) {
            node(tree, child);
        }
    }

    void check(const ItemNumbers& numbers, const std::set<std::string>& letters, const std::string& what)
    {
        for (const int number : {numbers.begin, numbers.end}) {
            if (number < 0) {
                continue;
            }
            ASSERT_EQ(records.count(number), 1u) << what << " keeps " << number;
            EXPECT_EQ(letters.count(records.at(number).letters), 1u)
                << what << " keeps " << number << ", a " << records.at(number).letters << " record";
            kept.insert(number);
        }
        if (numbers.end >= 0) {
            EXPECT_LT(numbers.begin, numbers.end) << what;
            EXPECT_EQ(records.at(numbers.begin).letters, records.at(numbers.end).letters) << what;
            // An end record has absent fields only (a scenario's keeps its name).
            const Record& end = records.at(numbers.end);
            EXPECT_TRUE(end.fields.rfind("?", 0) == 0 || end.letters == "S") << what << ": " << end.fields;
        }
    }

    const NumberTable& table;
    const std::map<int, Record>& records;
};

// The passes of one run, in this process, up to the TDC writer.
class TdcInProcess : public qvm::testing::ConsoleTest {
protected:
    struct Written {
        std::string tdc;
        qvm::codegen::Numbering numbering;
    };

    void TearDown() override
    {
        qvm::script::endCAnalysis();
        qvm::script::resetNativeTypes();
        qvm::script::resetCAnalysis();
        ConsoleTest::TearDown();
    }

    // Analyses the script in a copy of its directory and writes its TDC file
    // there; the check runs while the model is alive.
    template <typename Check>
    void runAndCheck(const Script& script, Check check)
    {
        qvm::testing::TempDir dir;
        fs::copy(script.directory, dir.path(), fs::copy_options::recursive);
        const fs::path previous = fs::current_path();
        fs::current_path(dir.path());
        qvm::script::resetCAnalysis();
        qvm::script::resetNativeTypes();
        qvm::script::startCAnalysis(qvm::script::CModeNeither, {}, {}, {});
        qvm::script::declareIncludedFile(kStdDefine);
        qvm::script::declareIncludedFile(script.name + ".h");
        const qvm::script::ParsedScript parsed = qvm::script::parseScript(script.name + ".pts", {});
        qvm::script::AnalysisOptions options;
        options.scriptFlags = parsed.scriptFlags;
        options.traceLevel = 50;
        const qvm::script::AnalysisResult analysed = qvm::script::analyseScript(parsed.root, parsed.sourceFiles, options);
        qvm::codegen::TdcRun run;
        run.scriptPath = script.name + ".pts";
        run.tdcPath = script.name + ".tdc";
        run.probeHeaderPath = script.name + "_probe.h";
        run.sourceFiles = &parsed.sourceFiles;
        run.commandLine = "in process";
        run.dateText = "today";
        run.instanceMode = analysed.instanceMode;
        run.traceLevel = 50;
        run.probeMode = 1;
        run.model = analysed.model.get();
        Written written;
        {
            qvm::codegen::GeneratedFiles files;
            qvm::codegen::writeTdc(files, written.numbering, run);
            files.commit();
        }
        written.tdc = qvm::testing::readFile(script.name + ".tdc");
        fs::current_path(previous);
        EXPECT_EQ(qvm::diag::errorCount(), 0u) << script.name << "\n" << console;
        check(*analysed.model, written);
    }
};

TEST_F(TdcInProcess, NumbersNameTheirRecords)
{
    std::vector<Script> scripts = bundledExamples();
    scripts.push_back(handScript("hand_plain"));
    scripts.push_back(handScript("hand_comm"));
    for (const Script& script : scripts) {
        SCOPED_TRACE(script.name);
        runAndCheck(script, [&](const Model& model, const Written& written) {
            const std::map<int, Record> records = recordsOf(written.tdc);
            NumberCheck check(written.numbering.records, records);
            check.scope(&model.global());
            EXPECT_GT(check.kept.size(), 10u);
            // Every construct record is a number kept: only the header records
            // (up to the last source file record) are not.
            int lastHeader = 0;
            for (const auto& [number, record] : records) {
                if (record.letters == "CF") {
                    lastHeader = number;
                }
            }
            for (const auto& [number, record] : records) {
                if (number > lastHeader) {
                    EXPECT_EQ(check.kept.count(number), 1u) << record.letters << number << " is kept for nothing";
                }
            }
        });
    }
}

// The same script written twice in one process numbers alike: the writer
// keeps no state between runs.
TEST_F(TdcInProcess, SecondRunNumbersAlike)
{
    std::vector<std::string> files;
    for (int run = 0; run < 2; ++run) {
        runAndCheck(handScript("hand_comm"), [&](const Model&, const Written& written) { files.push_back(written.tdc); });
    }
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(masked(files[0]), masked(files[1]));
}

// An instance mode outside 0 to 3 cannot come from the analysis: the
// instance record then ends at once with "BADPARAMS".
TEST_F(TdcInProcess, UnknownInstanceModeEnds)
{
    qvm::testing::TempDir dir;
    Model model;
    Entry& header = model.append(&model.global(), ENT_SCRIPT, {}, Origin{"x.pts", 1, 1});
    model.attach(header, DSC_SCRIPT).as<ScriptData>().header = {"\"a\"", "b", "c"};
    const std::vector<qvm::script::SourceFileRecord> sources;
    qvm::codegen::TdcRun run;
    run.tdcPath = (dir / "x.tdc").string();
    run.sourceFiles = &sources;
    run.dateText = "today";
    run.instanceMode = 4;
    run.model = &model;
    qvm::codegen::Numbering numbering;
    {
        qvm::codegen::GeneratedFiles files;
        qvm::codegen::writeTdc(files, numbering, run);
        files.commit();
    }
    EXPECT_THAT(console, HasSubstr("Fenwir-E-BADPARAMS,  Incorrect parameters"));
    EXPECT_EQ(qvm::diag::errorCount(), 1u);
    const std::vector<std::string> lines = qvm::testing::lines(qvm::testing::readFile(dir / "x.tdc"));
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[5], "IL4 ");
    EXPECT_EQ(lines[6], "FB5 \"\"");
    EXPECT_EQ(lines[7], "E6 \"a\", \"b\", \"c\", \"1\", \"1\"");
    EXPECT_EQ(numbering.records.find(header).begin, 6);
}

// The numbers of a tree's nodes are kept by the tree's top node: trees are
// told apart, a tree larger than a block of numbers keeps all of its own,
// and numbers handed out stay where they are while more trees come.
TEST(TreeNumbers, KeptPerTree)
{
    constexpr std::size_t kWide = 3000;
    std::vector<ValueNode> wide(kWide + 1);
    wide[0].kind = ValueKind::Structure;
    wide[0].placeChildren(&wide[1], kWide);
    std::vector<std::vector<ValueNode>> small(500, std::vector<ValueNode>(2));
    for (std::vector<ValueNode>& tree : small) {
        tree[0].kind = ValueKind::Structure;
        tree[0].placeChildren(&tree[1], 1);
    }
    NumberTable table;
    ItemNumbers& firstLeaf = table.treeOf(small[0][0]).of(small[0][1]);
    firstLeaf = {7, 8};
    for (std::size_t i = 1; i < small.size(); ++i) {
        table.treeOf(small[i][0]).of(small[i][1]).begin = static_cast<int>(i);
    }
    const qvm::codegen::TreeNumbers wideNumbers = table.treeOf(wide[0]);
    for (std::size_t i = 0; i <= kWide; ++i) {
        wideNumbers.of(wide[i]).begin = static_cast<int>(10000 + i);
    }
    firstLeaf.end = 9;

    EXPECT_EQ(table.findTree(small[0][0]).find(small[0][1]).begin, 7);
    EXPECT_EQ(table.findTree(small[0][0]).find(small[0][1]).end, 9);
    EXPECT_EQ(table.findTree(small[0][0]).find(small[0][0]).begin, -1);
    for (std::size_t i = 1; i < small.size(); ++i) {
        EXPECT_EQ(table.findTree(small[i][0]).find(small[i][1]).begin, static_cast<int>(i));
    }
    for (std::size_t i = 0; i <= kWide; ++i) {
        ASSERT_EQ(table.findTree(wide[0]).find(wide[i]).begin, static_cast<int>(10000 + i));
    }
    ValueNode unnumbered;
    EXPECT_EQ(table.findTree(unnumbered).find(unnumbered).begin, -1);
    EXPECT_EQ(table.findTree(unnumbered).find(unnumbered).end, -1);
}

}  // namespace
