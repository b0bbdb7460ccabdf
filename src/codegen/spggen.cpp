// The SPG project file.
#include "codegen/spggen.h"

#include "base/cstsyst.h"
#include "codegen/genwalk.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <variant>

namespace qvm::codegen {

namespace {

using namespace script::sem;

using NameList = std::vector<std::string>;

// The entry's data of that kind; none when the analysis refused the entry
// before giving it (the project file is written even after errors).
template <typename Data>
const Data* dataOf(const Entry& entry)
{
    return entry.descriptor != nullptr ? entry.descriptor->find<Data>() : nullptr;
}

const Scope* subScopeOf(const Entry& entry)
{
    return entry.descriptor != nullptr ? entry.descriptor->subScope : nullptr;
}

// The names of the entries of a scenario's family line.
NameList familyNames(const Entry& scenario)
{
    NameList names;
    const ScenarioData* data = dataOf<ScenarioData>(scenario);
    if (data != nullptr && data->familyScope != nullptr) {
        for (const Entry& family : data->familyScope->entries) {
            if (family.code == ENT_FAMILY) {
                names.emplace_back(family.name);
            }
        }
    }
    return names;
}

bool isInstanceBlockEnd(int code)
{
    return code == ENT_INSTANCE_END || code == ENT_INSTANCE_HASH_END || code == ENT_INSTANCE_BODY_END;
}

bool contains(const NameList& names, const std::string& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// The names of list that are also in limit, in the order of list.
NameList restricted(NameList list, const NameList& limit)
{
    std::erase_if(list, [&](const std::string& name) { return !contains(limit, name); });
    return list;
}

// Where an entry met by the walk stands.
struct Context {
    const Entry* procedure = nullptr;  // the procedure whose body holds it
    const Entry* block = nullptr;      // the scenario or level block whose body holds it
};

// A call of a script procedure.
struct CallItem {
    const Entry* caller;  // the procedure the call is made in, none outside procedures
    NameList own;
};

struct RendezvousItem {
    const Entry* entry;
    Context context;
    NameList own;
};

// The instances named by the instance block that directly encloses the
// entries of a scope, followed on the way through the scope: the run of
// instance uses met last, until an end marker closes the block.
class InstanceBlock {
public:
    void pass(const Entry& entry)
    {
        if (entry.code == ENT_INSTANCE_USE) {
            if (!inUses_) {
                names_.clear();
            }
            names_.emplace_back(entry.name);
        } else if (isInstanceBlockEnd(entry.code)) {
            names_.clear();
        }
        inUses_ = entry.code == ENT_INSTANCE_USE;
    }
    const NameList& names() const { return names_; }

private:
    NameList names_;
    bool inUses_ = false;
};

// How deep the walk goes: the project file's lists leave out the bodies of
// conditions and loops; the program's rendezvous need every statement.
enum class Reach { ProjectFile, EveryStatement };

// The lists of the project file, gathered in one pre-order walk of the
// model. Calls and rendezvous are collected without entering them.
class ProjectLists {
public:
    explicit ProjectLists(const Scope& global, Reach reach = Reach::ProjectFile) : reach_(reach)
    {
        walk(global, {}, {});
    }

    const std::vector<const Entry*>& scenarios() const { return scenarios_; }
    const NameList& instances() const { return instances_; }
    const NameList& families() const { return families_; }
    const std::vector<RendezvousItem>& rendezvous() const { return rendezvous_; }

    // The instances that meet at a rendezvous. An empty own list stands for
    // every declared instance.
    NameList members(const RendezvousItem& item) const
    {
        if (item.context.procedure == nullptr) {
            return allWhenEmpty(item.own);
        }
        const NameList inProcedure = restricted(allWhenEmpty(item.own), procedureInstances(item.context.procedure));
        std::unordered_set<std::string> reached;
        if (const auto calls = callsTo_.find(item.context.procedure); calls != callsTo_.end()) {
            for (const CallItem& call : calls->second) {
                for (std::string& name : restricted(inProcedure, callInstances(call))) {
                    reached.insert(std::move(name));
                }
            }
        }
        // Each instance once, in the order of the declarations.
        NameList members = instances_;
        std::erase_if(members, [&](const std::string& name) { return !reached.contains(name); });
        return members;
    }

private:
    // enclosing: the instances of the block around a condition or loop
    // whose body this scope is.
    void walk(const Scope& scope, Context context, const NameList& enclosing)
    {
        InstanceBlock block;
        for (const Entry& entry : scope.entries) {
            block.pass(entry);
            visit(entry, context, block.names().empty() ? enclosing : block.names());
        }
    }

    void enter(const Entry& entry, Context context)
    {
        if (const Scope* sub = subScopeOf(entry)) {
            walk(*sub, context, {});
        }
    }

    void enterStatements(const Entry& entry, Context context, const NameList& own)
    {
        if (reach_ != Reach::EveryStatement) {
            return;
        }
        for (const Scope* sub : statementScopes(entry)) {
            if (sub != nullptr) {
                walk(*sub, context, own);
            }
        }
    }

    void visit(const Entry& entry, Context context, const NameList& own)
    {
        switch (entry.code) {
        case ENT_SCENARIO:
            scenarios_.push_back(&entry);
            addFamilies(entry);
            enter(entry, {context.procedure, &entry});
            break;
        case ENT_PROC:
            procedureLists_.emplace(&entry, own);
            enter(entry, {&entry, context.block});
            break;
        case ENT_INITIALIZATION:
        case ENT_TERMINATION:
        case ENT_EXCEPTION: enter(entry, {context.procedure, &entry}); break;
        case ENT_WHEN_VALUE: enter(entry, context); break;
        case ENT_INSTANCE_DECL:
            instances_.emplace_back(entry.name);
            enter(entry, context);
            break;
        case ENT_CALL:
            if (const CallData* call = dataOf<CallData>(entry); call != nullptr && call->procedure != nullptr) {
                callsTo_[call->procedure].push_back({context.procedure, own});
            }
            break;
        case ENT_RENDEZVOUS: rendezvous_.push_back({&entry, context, own}); break;
        case ENT_IF:
        case ENT_WHILE:
        case ENT_CASE:
        case ENT_WHEN: enterStatements(entry, context, own); break;
        default: break;
        }
    }

    void addFamilies(const Entry& scenario)
    {
        for (std::string& name : familyNames(scenario)) {
            if (familiesSeen_.insert(name).second) {
                families_.push_back(std::move(name));
            }
        }
    }

    NameList allWhenEmpty(const NameList& names) const { return names.empty() ? instances_ : names; }

    NameList procedureInstances(const Entry* procedure) const
    {
        const auto found = procedureLists_.find(procedure);
        return found != procedureLists_.end() ? allWhenEmpty(found->second) : instances_;
    }

    // A call made in a procedure reaches no instance that procedure is not for.
    NameList callInstances(const CallItem& call) const
    {
        const NameList own = allWhenEmpty(call.own);
        return call.caller != nullptr ? restricted(own, procedureInstances(call.caller)) : own;
    }

    Reach reach_;
    std::vector<const Entry*> scenarios_;  // the root scenario first
    NameList instances_;
    NameList families_;  // each once, in order of first appearance
    std::unordered_set<std::string> familiesSeen_;
    std::unordered_map<const Entry*, NameList> procedureLists_;  // own lists of the declarations
    std::unordered_map<const Entry*, std::vector<CallItem>> callsTo_;  // by procedure called, in walk order
    std::vector<RendezvousItem> rendezvous_;
};

class SpgWriter {
public:
    SpgWriter(GeneratedFile& file, const ProjectLists& lists) : file_(file), lists_(lists) {}

    void header(const std::string& spgPath, const std::vector<script::SourceFileRecord>& sourceFiles)
    {
        const std::string base = spgPath.substr(0, spgPath.size() >= 4 ? spgPath.size() - 4 : 0);
        write("SPG_FILE = {\n\n");
        write("\tSPG_FILE_NAME = \"" + base + ".spg\";\n\n");
        write("\tPTS_FILE_NAME = \"" + base + ".pts\";\n\n");
        NameList included;
        // The records are newest first: the script itself is the last one.
        for (std::size_t i = 0; i + 1 < sourceFiles.size(); ++i) {
            included.push_back(sourceFiles[i].path);
        }
        write("\tHTS_FILE_LIST = (" + quotedList(included, ", ") + ");\n\n");
        write("\tINSTANCE_LIST = (" + quotedList(lists_.instances(), ", ") + ");\n\n");
        write("\tFAMILY_LIST   = (" + quotedList(lists_.families(), ",") + ");\n\n");
    }

    void scenarioTree()
    {
        write("\tSCENARIO_TREE = (\n");
        if (const Entry* first = firstTopLevelScenario()) {
            treeFrom(*first, 1);
        }
        write("\t);\n\n");
    }

    void scenarioList()
    {
        write("\tSCENARII_LIST = {\n");
        const auto& scenarios = lists_.scenarios();
        for (std::size_t i = 1; i < scenarios.size(); ++i) {
            scenarioBlock(*scenarios[i]);
        }
        write("\t};\n\n");
    }

    void rendezvousList()
    {
        write("\tRDV_LIST = {\n");
        for (const RendezvousItem& item : lists_.rendezvous()) {
            rendezvousBlock(item);
        }
        write("\t};\n};\n");
    }

private:
    static std::string quotedList(const NameList& names, std::string_view separator)
    {
        std::string text;
        for (const std::string& name : names) {
            if (!text.empty()) {
                text += separator;
            }
            text += '"' + name + '"';
        }
        return text;
    }

    static std::string tabs(int depth) { return std::string(static_cast<std::size_t>(depth), '\t'); }

    const Entry* firstTopLevelScenario() const
    {
        const auto& scenarios = lists_.scenarios();
        const Scope* top = scenarios.empty() ? nullptr : subScopeOf(*scenarios.front());
        return top != nullptr ? top->firstScenario() : nullptr;
    }

    // The scenario and those that follow it directly in its scope, each
    // with its own sub-scenarios nested below it.
    void treeFrom(const Entry& first, int depth)
    {
        for (const Entry* scenario = &first; scenario != nullptr && scenario->code == ENT_SCENARIO;
             scenario = scenario->next) {
            const bool follows = scenario->prev != nullptr && scenario->prev->code == ENT_SCENARIO;
            write(tabs(depth) + (follows ? "  ," : "   ") + '"' + scenario->name + "\"\n");
            const Scope* sub = subScopeOf(*scenario);
            if (sub != nullptr && sub->firstScenario() != nullptr) {
                write(tabs(depth + 1) + ",(\n");
                treeFrom(*sub->firstScenario(), depth + 1);
                write(tabs(depth + 1) + ")\n");
            }
        }
    }

    void scenarioBlock(const Entry& scenario)
    {
        write("\t\t SCENARIO  {\n");
        write("\t\t\tNAME        = \"" + qualifiedName(scenario) + "\";\n");
        write("\t\t\tFILE        = \"" + std::string(scenario.fileName()) + "\";\n");
        write("\t\t\tLINE        = \"" + std::to_string(scenario.line) + "\";\n");
        write("\t\t\tFAMILY_LIST = (" + quotedList(familyNames(scenario), ",") + ");\n\t\t    };\n\n");
    }

    void rendezvousBlock(const RendezvousItem& item)
    {
        write("\n\t\tRDV {\n");
        if (item.context.procedure != nullptr) {
            write("\t\t\tPROC         = \"" + item.context.procedure->name + "\";\n");
        } else if (item.context.block != nullptr && item.context.block->code == ENT_SCENARIO) {
            write("\t\t\tSCENARIO     = \"" + qualifiedName(*item.context.block) + "\";\n");
        }
        write("\t\t\tRDV_NAME     = \"" + item.entry->name + "\";\n");
        write("\t\t\tFROM_FILE    = {\n");
        if (!item.entry->fileName().empty()) {
            write("\t\t\t\tNAME = \"" + std::string(item.entry->fileName()) + "\";\n");
        }
        if (item.entry->line != 0) {
            write("\t\t\t\tLINE = \"" + std::to_string(item.entry->line) + "\";\n");
        }
        write("\t\t\t};\n");
        write("\t\t\tMEMBERS_LIST = (" + quotedList(lists_.members(item), ", ") + ");\n\t\t};\n");
    }

    void write(std::string_view text) { file_.write(text); }

    GeneratedFile& file_;
    const ProjectLists& lists_;
};

}  // namespace

RendezvousMembers rendezvousMembers(const script::sem::Scope& global)
{
    const ProjectLists lists(global, Reach::EveryStatement);
    RendezvousMembers members;
    for (const RendezvousItem& item : lists.rendezvous()) {
        members.emplace(item.entry, lists.members(item));
    }
    return members;
}

void writeSpgFile(GeneratedFiles& files, const std::string& spgPath,
                  const std::vector<script::SourceFileRecord>& sourceFiles, const script::sem::Scope& global)
{
    const ProjectLists lists(global);
    SpgWriter writer(files.create(base::fileNamePart(spgPath)), lists);
    writer.header(spgPath, sourceFiles);
    writer.scenarioTree();
    writer.scenarioList();
    writer.rendezvousList();
}

}  // namespace qvm::codegen
