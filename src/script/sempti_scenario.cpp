// The scenario tree: scenarios with their selection, the INITIALIZATION,
// TERMINATION and EXCEPTION blocks of each level, and instance blocks.
#include "script/sempti_analysis.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <set>

namespace qvm::script::sem {

namespace {

// The deepest scenario: the generated program counts the repetitions of
// the scenarios at depth d in J<d>, and has J1 to J20.
constexpr int kScenarioDepthLimit = 20;

int scenarioDepth(const Entry* parent)
{
    int depth = 0;
    for (; parent != nullptr; parent = parent->data<ScenarioData>().parent) {
        ++depth;
    }
    return depth;
}

// The largest repetition count: the generated program counts the
// repetitions in an int.
constexpr long long kLoopCountLimit = std::numeric_limits<int>::max();

// The value of a LOOP count as the script writes it (decimal, octal after
// '0', hexadecimal after "0x", then any 'L' and 'U' suffixes), or nothing
// when it is beyond kLoopCountLimit. Digits after a '0' that are not all
// octal digits count as decimal ("09" is 9).
std::optional<int> loopCountValue(std::string_view text)
{
    while (!text.empty() && std::strchr("lLuU", text.back()) != nullptr) {
        text.remove_suffix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else if (text.size() > 1 && text[0] == '0' && text.find_first_not_of("01234567") == std::string_view::npos) {
        base = 8;
        text.remove_prefix(1);
    }
    long long value = 0;
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (failure == std::errc::result_out_of_range || value > kLoopCountLimit) {
        return std::nullopt;
    }
    return end == text.data() ? 0 : static_cast<int>(value);
}

bool listed(const std::vector<std::string>& list, const std::string& name)
{
    return std::find(list.begin(), list.end(), name) != list.end();
}

// A listed scenario selects its ancestors and its descendants; an excluded
// one takes its descendants with it.
bool selectedByName(const std::string& qualified, const AnalysisOptions& options)
{
    if (qualified.empty()) {
        return true;
    }
    if (!options.scenarios.empty()) {
        return std::any_of(options.scenarios.begin(), options.scenarios.end(), [&](const std::string& s) {
            const std::size_t common = std::min(s.size(), qualified.size());
            if (s.compare(0, common, qualified, 0, common) != 0) {
                return false;
            }
            const std::string& longer = s.size() > qualified.size() ? s : qualified;
            return longer.size() == common || longer[common] == '.';
        });
    }
    return std::none_of(options.excludedScenarios.begin(), options.excludedScenarios.end(), [&](const std::string& e) {
        return qualified.compare(0, e.size(), e) == 0 && (qualified.size() == e.size() || qualified[e.size()] == '.');
    });
}

struct LevelBlockKind {
    int entryCode;
    int descriptorCode;
    diag::MessageCode tooMany;
    const char* suffix;
};

LevelBlockKind levelBlockKind(const SyntaxNode& node)
{
    switch (node.kind) {
    case STX_INITIALIZATION: return {ENT_INITIALIZATION, DSC_INITIALIZATION, "TOOMCHINI", "@init"};
    case STX_TERMINATION: return {ENT_TERMINATION, DSC_TERMINATION, "TOOMCHTER", "@term"};
    case STX_EXCEPTION: return {ENT_EXCEPTION, DSC_EXCEPTION, "TOOMCHEXC", "@excp"};
    default: Analysis::unexpected(node);
    }
}

// The longest qualified name kept: one more than a C scope name holds, so
// that a longer one is still refused by the bridge.
constexpr std::size_t kPathLimit = 16401;

}  // namespace

class ScenarioTree {
public:
    explicit ScenarioTree(Analysis& analysis) : a(analysis), model(analysis.model)
    {
        // Selection compares the path up to one character past the longest listed name.
        for (const auto* list : {&a.options.scenarios, &a.options.excludedScenarios}) {
            for (const std::string& name : *list) {
                pathLimit = std::max(pathLimit, name.size() + 1);
            }
        }
    }

    // The procedures that the level blocks of the list call, to be marked
    // used once their scenario is known to be generated.
    std::vector<Entry*> items(const SyntaxNode* list, Scope& scope, Entry* parent)
    {
        std::set<int> seen;  // entry codes of the level blocks met in this scope
        std::vector<Entry*> called;
        for (const SyntaxNode* link = list; link != nullptr; link = link->c1()) {
            const SyntaxNode& item = Analysis::present(Analysis::expect(link, STX_SCENARIO_ITEM_LIST, *link).c0(), *link);
            switch (item.kind) {
            case STX_SCENARIO: scenario(item, scope, parent); break;
            case STX_INITIALIZATION:
            case STX_TERMINATION:
            case STX_EXCEPTION: levelBlock(item, scope, seen, called); break;
            case STX_INCLUDE: break;  // the included items follow in the list
            default: Analysis::unexpected(item);
            }
        }
        return called;
    }

private:
    // The qualified name of the scenario being analysed grows by one name on
    // the way down and is cut back on the way up; past the limit it is cut,
    // so a deep tree costs one bounded text.
    class PathStep {
    public:
        PathStep(std::string& path, const std::string& name, std::size_t limit) : path(path), outer(path.size())
        {
            if (!path.empty()) {
                path += '.';
            }
            path += name;
            path.resize(std::min(path.size(), limit));
        }
        ~PathStep() { path.resize(outer); }
        PathStep(const PathStep&) = delete;
        PathStep& operator=(const PathStep&) = delete;

    private:
        std::string& path;
        std::size_t outer;
    };

    void scenario(const SyntaxNode& node, Scope& scope, Entry* parent)
    {
        const std::string name = Analysis::identText(node.c0(), node);
        const SyntaxNode& body = Analysis::expect(node.c1(), STX_SCENARIO_BODY, node);
        const Origin origin = Analysis::originAt(node, node.c0()->line);
        if (Model::findScenario(scope, name) != nullptr) {
            Analysis::report(diag::Error, "SCENALREX", name, origin);
        }
        // Only the outermost scenario beyond the limit is reported.
        if (scenarioDepth(parent) == kScenarioDepthLimit + 1) {
            Analysis::report(diag::Error, "SCENDEPTH", name, origin);
        }
        Entry& entry = model.append(&scope, ENT_SCENARIO, name, origin);
        Descriptor& descriptor = model.attach(entry, DSC_SCENARIO);
        auto& data = descriptor.as<ScenarioData>();
        data.fileName = node.fileName();
        data.line = body.line - 1;
        data.parent = parent;
        if (body.c0() != nullptr) {
            const std::string_view count = Analysis::expect(body.c0(), STX_CONSTANT, body).textOrEmpty();
            const std::optional<int> value = loopCountValue(count);
            if (!value) {
                Analysis::report(diag::Error, "LOOPTOBIG", count, origin);
            }
            data.loopCount = value.value_or(0);
        }
        const PathStep step(path, name, pathLimit);
        // Below a scenario left out, nothing is generated (this matters without FAST).
        const bool insideSelected = parent == nullptr || parent->data<ScenarioData>().selected;
        if (parent != nullptr) {
            parent->data<ScenarioData>().leaf = false;
        }
        data.selected = select(Analysis::present(body.c1(), body), descriptor, scope) && insideSelected;
        if (a.options.fast && !data.selected) {
            return;
        }
        // Without FAST the scenarios left out are analysed too, but what
        // they call is not called; nor is what a scenario calls whose
        // sub-scenarios are all left out.
        const std::size_t marksBefore = a.state.usedMarks.size();
        const SyntaxNode& contents = Analysis::present(body.c2(), body);
        Scope& inner = model.makeScope(descriptor, &scope);
        if (contents.kind == STX_SCENARIO_ITEM_LIST) {
            const std::vector<Entry*> called = items(&contents, inner, &entry);
            if (generationCheck(entry, inner, parent == nullptr)) {
                std::string qualified = path;
                nameLastNameMatches(&contents, qualified);
            }
            if (data.selected) {
                std::for_each(called.begin(), called.end(), [&](Entry* procedure) { a.markProcedureUsed(*procedure); });
            }
        } else {
            a.analyseBody(&contents, inner, path);
        }
        if (!data.selected) {
            a.takeBackUsedMarks(marksBefore);
        }
    }

    bool select(const SyntaxNode& family, Descriptor& descriptor, Scope& scope)
    {
        if (family.kind == STX_EMPTY) {
            return selectedByName(path, a.options);
        }
        Analysis::expect(&family, STX_FAMILY, family);
        auto& data = descriptor.as<ScenarioData>();
        bool selected = a.options.families.empty();
        data.familyScope = &model.makeSideScope(descriptor, &scope);
        std::set<std::string> seen;
        for (const SyntaxNode* link = family.c0(); link != nullptr; link = link->c1()) {
            const SyntaxNode& ident = Analysis::expect(link->c0(), STX_IDENT, *link);
            const std::string name = Analysis::identText(&ident, *link);
            if (!seen.insert(name).second) {
                Analysis::report(diag::Warning, "FNAMNOTUS", name, Analysis::originOf(ident));
                continue;
            }
            model.append(data.familyScope, ENT_FAMILY, name, Analysis::originOf(ident));
            if (!a.options.families.empty() && !selected) {
                selected = listed(a.options.families, name);
            } else if (!a.options.excludedFamilies.empty() && selected) {
                selected = !listed(a.options.excludedFamilies, name);
            }
        }
        return selected && selectedByName(path, a.options);
    }

    // A scenario of sub-scenarios is generated only with one of them; true
    // when the root scenario is left with nothing generated.
    bool generationCheck(Entry& entry, const Scope& inner, bool root)
    {
        auto& data = entry.data<ScenarioData>();
        if (!data.selected) {
            return false;
        }
        data.selected = std::any_of(inner.entries.begin(), inner.entries.end(), [](const Entry& child) {
            return child.code == ENT_SCENARIO && child.data<ScenarioData>().selected;
        });
        if (!data.selected && root) {
            diag::error("NOSCENGEN");
            return true;
        }
        return false;
    }

    // After NOSCENGEN: the scenarios whose own name is one that -SCN lists
    // but whose qualified name is longer, read from the syntax since the
    // scenarios left out may not have been analysed.
    void nameLastNameMatches(const SyntaxNode* list, std::string& qualified)
    {
        for (const SyntaxNode* link = list; link != nullptr; link = link->c1()) {
            const SyntaxNode* item = link->c0();
            if (item == nullptr || item->kind != STX_SCENARIO || item->c0() == nullptr || item->c1() == nullptr) {
                continue;
            }
            const std::string name = Analysis::identText(item->c0(), *item);
            const PathStep step(qualified, name, pathLimit);
            if (qualified != name && listed(a.options.scenarios, name)) {
                diag::information("SCNLASTNM", qualified, name);
            }
            const SyntaxNode* contents = item->c1()->c2();
            if (contents != nullptr && contents->kind == STX_SCENARIO_ITEM_LIST) {
                nameLastNameMatches(contents, qualified);
            }
        }
    }

    void levelBlock(const SyntaxNode& node, Scope& scope, std::set<int>& seen, std::vector<Entry*>& called)
    {
        const LevelBlockKind kind = levelBlockKind(node);
        const bool isCallForm = node.c0() != nullptr;
        // The block form's mark is made at the end of the keyword's line.
        const Origin origin =
            isCallForm ? Analysis::originOf(node)
                     : Analysis::originAt(node, Analysis::expect(node.c2(), STX_BLOCK_MARK, node).line - 1);
        if (!seen.insert(kind.entryCode).second) {
            Analysis::report(diag::Error, kind.tooMany, {}, origin);
        }
        if (isCallForm) {
            callForm(node, kind, scope, origin, called);
            return;
        }
        Entry& entry = model.insertBeforeFirstScenario(&scope, kind.entryCode, {}, origin);
        Descriptor& descriptor = model.attach(entry, kind.descriptorCode);
        a.analyseBody(node.c1(), model.makeScope(descriptor, &scope), path + kind.suffix);
    }

    void callForm(const SyntaxNode& node, const LevelBlockKind& kind, Scope& scope, const Origin& origin,
                  std::vector<Entry*>& called)
    {
        const std::string name = Analysis::identText(node.c0(), node);
        Entry* procedure = model.findGlobal(ENT_PROC, name);
        if (procedure == nullptr) {
            Analysis::report(diag::Error, "UNKCLPROC", name, origin);
            return;
        }
        called.push_back(procedure);
        Entry& entry = model.insertBeforeFirstScenario(&scope, kind.entryCode, name, origin);
        Descriptor& descriptor = model.attach(entry, kind.descriptorCode);
        descriptor.as<BlockData>().procedure = procedure;
        a.analyseProcedureArguments(node.c2(), descriptor, *procedure, scope, {});
    }

    Analysis& a;
    Model& model;
    std::string path;  // qualified name of the scenario being analysed, cut at pathLimit
    std::size_t pathLimit = kPathLimit;
};

void Analysis::analyseScenarioItems(const SyntaxNode* list, Scope& scope, Entry* scenario)
{
    ScenarioTree(*this).items(list, scope, scenario);
}

// ---- instance blocks ----

void Analysis::enterInstance(const Origin& origin)
{
    if (++state.instanceNesting > 1) {
        diag::internal("ISTBADLVL", diag::positionPrefix(origin.fileName, origin.line));
    }
}

void Analysis::leaveInstance(const Origin& origin)
{
    if (--state.instanceNesting < 0) {
        diag::internal("ENTCODUNK", diag::positionPrefix(origin.fileName, origin.line), std::to_string(state.instanceNesting));
    }
}

bool Analysis::instanceUses(const SyntaxNode* names, Block& block, const Origin& origin)
{
    for (const SyntaxNode* link = names; link != nullptr; link = link->c1()) {
        const std::string name = identText(link->c0(), *link);
        if (model.findGlobal(ENT_INSTANCE_DECL, name) == nullptr) {
            report(diag::Error, "UNDECISTN", name, origin);
            return false;
        }
        Entry& use = model.append(block.scope, ENT_INSTANCE_USE, name, origin);
        model.attach(use, DSC_INSTANCE_USE).as<NameData>().name = use.name;
    }
    return true;
}

bool Analysis::namesSelectedInstance(const SyntaxNode* names) const
{
    for (const SyntaxNode* link = names; link != nullptr; link = link->c1()) {
        if (identText(link->c0(), *link) == options.instance) {
            return true;
        }
    }
    return false;
}

void Analysis::analyseInstanceBlockInBody(const SyntaxNode& group, Block& block, bool hashLines)
{
    const SyntaxNode& begin = expect(group.c0(), STX_INSTANCE_BEGIN, group);
    const Origin origin = originOf(begin);
    if (state.instanceMode == 0) {
        report(diag::Error, "NODCLISTN", {}, origin);
        return;
    }
    if (hashLines && block.instructionSeen) {
        report(diag::Error, "BADIBSEQ", {}, origin);
        return;
    }
    // The order of blocks is the script's, whichever instance is generated.
    block.instructionSeen = block.instructionSeen || !hashLines;
    enterInstance(origin);
    const bool markers = state.instanceMode != 1;
    const bool analysed = markers || namesSelectedInstance(begin.c0());
    if (markers) {
        model.append(block.scope, hashLines ? ENT_INSTANCE_HASH_BEGIN : ENT_INSTANCE_BODY_BEGIN, {}, origin);
        instanceUses(begin.c0(), block, origin);
    }
    if (analysed && hashLines) {
        analyseHashLines(group.c1(), block);
    } else if (analysed) {
        for (const SyntaxNode* link = group.c1(); link != nullptr; link = link->c1()) {
            analyseInstructionLine(expect(expect(link, STX_INSTANCE_BODY, *link).c0(), STX_INSTR_LINE, *link), block);
        }
    }
    if (markers) {
        model.append(block.scope, hashLines ? ENT_INSTANCE_HASH_END : ENT_INSTANCE_BODY_END, {},
                     originAt(group, group.c1() != nullptr ? group.c1()->line : origin.line));
    }
    leaveInstance(origin);
}

// ---- execution filters ----

void Analysis::checkFilter(std::string_view prefix, bool doubled, const Origin& origin)
{
    const std::string_view letters = doubled && !prefix.empty() && prefix.front() == '%' ? prefix.substr(1) : prefix;
    const auto isMark = [](char c) { return c == '+' || c == '~'; };
    bool valid = !letters.empty() && letters.front() != '+' && !isMark(letters.back());
    for (std::size_t i = 0; valid && i < letters.size(); ++i) {
        const char c = letters[i];
        const char next = i + 1 < letters.size() ? letters[i + 1] : '\0';
        valid = (c >= 'A' && c <= 'Z') || (c == '~' && !isMark(next)) || (c == '+' && next != '+');
    }
    if (!valid) {
        report(diag::Error, "BADFLTSTX", prefix, origin);
    }
}

void Analysis::checkFilterLetters(std::string_view quoted, const Origin& origin)
{
    const std::string_view letters =
        quoted.size() >= 2 && quoted.front() == '"' && quoted.back() == '"' ? quoted.substr(1, quoted.size() - 2) : quoted;
    for (const char c : letters) {
        if (c < 'A' || c > 'Z') {
            report(diag::Error, "BADLETFLT", std::string(1, c), origin);
        }
    }
}

}  // namespace qvm::script::sem
