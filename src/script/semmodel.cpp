// The semantic model of an analysed script: scopes, entries and their look-ups.
#include "script/semmodel.h"

#include "diag/i18nerrgest.h"

#include "base/mfmemo.h"

#include <algorithm>
#include <cctype>
#include <deque>
#include <iterator>
#include <map>
#include <optional>

namespace qvm::script::sem {

namespace {

constexpr std::pair<int, std::string_view> kEntryNames[] = {
    {ENT_SCENARIO, "ENT_SCENARIO"},
    {ENT_SCRIPT, "ENT_SCRIPT"},
    {ENT_PROC, "ENT_PROC"},
    {ENT_CALL, "ENT_CALL"},
    {ENT_FAMILY, "ENT_FAMILY"},
    {ENT_COMMENT, "ENT_COMMENT"},
    {ENT_ENABLE_CLEANUP, "ENT_ENABLE_CLEANUP"},
    {ENT_DISABLE_CLEANUP, "ENT_DISABLE_CLEANUP"},
    {ENT_WAITTIL, "ENT_WAITTIL"},
    {ENT_HASH_LINE, "ENT_HASH_LINE"},
    {ENT_AT_LINE, "ENT_AT_LINE"},
    {ENT_WHILE, "ENT_WHILE"},
    {ENT_IF, "ENT_IF"},
    {ENT_CASE, "ENT_CASE"},
    {ENT_WHEN_VALUE, "ENT_WHEN_VALUE"},
    {ENT_ERROR, "ENT_ERROR"},
    {ENT_EXIT, "ENT_EXIT"},
    {ENT_INITIALIZATION, "ENT_INITIALIZATION"},
    {ENT_TERMINATION, "ENT_TERMINATION"},
    {ENT_VAR, "ENT_VAR"},
    {ENT_AGGREGATE, "ENT_AGGREGATE"},
    {ENT_SET, "ENT_SET"},
    {ENT_UNSET, "ENT_UNSET"},
    {ENT_ARG, "ENT_ARG"},
    {ENT_WHEN, "ENT_WHEN"},
    {ENT_RETURN_VAR, "ENT_RETURN_VAR"},
    {ENT_EXCEPTION, "ENT_EXCEPTION"},
    {ENT_PARAM, "ENT_PARAM"},
    {ENT_FIELD_VALUE, "ENT_FIELD_VALUE"},
    {ENT_ELEMENT_VALUE, "ENT_ELEMENT_VALUE"},
    {ENT_SCALAR_VALUE, "ENT_SCALAR_VALUE"},
    {ENT_SHARE, "ENT_SHARE"},
    {ENT_RENDEZVOUS, "ENT_RENDEZVOUS"},
    {ENT_BOUNDED_VALUE, "ENT_BOUNDED_VALUE"},
    {ENT_DEF_MESSAGE, "ENT_DEF_MESSAGE"},
    {ENT_DEF_MESSAGE_CHECK, "ENT_DEF_MESSAGE_CHECK"},
    {ENT_MESSAGE_VAR, "ENT_MESSAGE_VAR"},
    {ENT_EVENT_STRUCT, "ENT_EVENT_STRUCT"},
    {ENT_CHANNEL, "ENT_CHANNEL"},
    {ENT_COMMTYPE, "ENT_COMMTYPE"},
    {ENT_CALLBACK, "ENT_CALLBACK"},
    {ENT_NO_MESSAGE, "ENT_NO_MESSAGE"},
    {ENT_MESSAGE_DATE, "ENT_MESSAGE_DATE"},
    {ENT_POLL_PAIR, "ENT_POLL_PAIR"},
    {ENT_ADD_ID, "ENT_ADD_ID"},
    {ENT_CLEAR_ID, "ENT_CLEAR_ID"},
    {ENT_MATCH_PIECE, "ENT_MATCH_PIECE"},
    {ENT_WAITTIL_REF, "ENT_WAITTIL_REF"},
    {ENT_UNION_VALUE, "ENT_UNION_VALUE"},
    {ENT_TIMER, "ENT_TIMER"},
    {ENT_TIMER_DECL, "ENT_TIMER_DECL"},
    {ENT_RESET, "ENT_RESET"},
    {ENT_PAUSE, "ENT_PAUSE"},
    {ENT_PRINT, "ENT_PRINT"},
    {ENT_SEND, "ENT_SEND"},
    {ENT_PROCSEND, "ENT_PROCSEND"},
    {ENT_INSTANCE_DECL, "ENT_INSTANCE_DECL"},
    {ENT_INSTANCE_BEGIN, "ENT_INSTANCE_BEGIN"},
    {ENT_INSTANCE_END, "ENT_INSTANCE_END"},
    {ENT_INSTANCE_HASH_BEGIN, "ENT_INSTANCE_HASH_BEGIN"},
    {ENT_INSTANCE_HASH_END, "ENT_INSTANCE_HASH_END"},
    {ENT_INSTANCE_BODY_BEGIN, "ENT_INSTANCE_BODY_BEGIN"},
    {ENT_INSTANCE_BODY_END, "ENT_INSTANCE_BODY_END"},
    {ENT_INSTANCE_USE, "ENT_INSTANCE_USE"},
    {ENT_OTHERS_VALUE, "ENT_OTHERS_VALUE"},
    {ENT_FLUSH_TRACE, "ENT_FLUSH_TRACE"},
    {ENT_TRACE_ON, "ENT_TRACE_ON"},
    {ENT_TRACE_OFF, "ENT_TRACE_OFF"},
    {ENT_HIDDEN_DECL, "ENT_HIDDEN_DECL"},
    {ENT_INTERSEND, "ENT_INTERSEND"},
    {ENT_INTERRECV, "ENT_INTERRECV"},
};

constexpr std::pair<int, std::string_view> kDescriptorNames[] = {
    {DSC_SCENARIO, "DSC_SCENARIO"},
    {DSC_SCRIPT, "DSC_SCRIPT"},
    {DSC_PROC, "DSC_PROC"},
    {DSC_CALL, "DSC_CALL"},
    {DSC_ARG, "DSC_ARG"},
    {DSC_WAITTIL, "DSC_WAITTIL"},
    {DSC_IF, "DSC_IF"},
    {DSC_CASE, "DSC_CASE"},
    {DSC_WHEN, "DSC_WHEN"},
    {DSC_WHILE, "DSC_WHILE"},
    {DSC_INITIALIZATION, "DSC_INITIALIZATION"},
    {DSC_TERMINATION, "DSC_TERMINATION"},
    {DSC_ENABLE_CLEANUP, "DSC_ENABLE_CLEANUP"},
    {DSC_DISABLE_CLEANUP, "DSC_DISABLE_CLEANUP"},
    {DSC_VAR, "DSC_VAR"},
    {DSC_VALUE, "DSC_VALUE"},
    {DSC_COMMENT, "DSC_COMMENT"},
    {DSC_RETURN_VAR, "DSC_RETURN_VAR"},
    {DSC_EXCEPTION, "DSC_EXCEPTION"},
    {DSC_PARAM, "DSC_PARAM"},
    {DSC_DEF_MESSAGE, "DSC_DEF_MESSAGE"},
    {DSC_DEF_MESSAGE_CHECK, "DSC_DEF_MESSAGE_CHECK"},
    {DSC_MESSAGE_VAR, "DSC_MESSAGE_VAR"},
    {DSC_EVENT_STRUCT, "DSC_EVENT_STRUCT"},
    {DSC_CHANNEL, "DSC_CHANNEL"},
    {DSC_COMMTYPE, "DSC_COMMTYPE"},
    {DSC_CALLBACK, "DSC_CALLBACK"},
    {DSC_POLL_PAIR, "DSC_POLL_PAIR"},
    {DSC_ADD_ID, "DSC_ADD_ID"},
    {DSC_CLEAR_ID, "DSC_CLEAR_ID"},
    {DSC_MATCH_PIECE, "DSC_MATCH_PIECE"},
    {DSC_TIMER, "DSC_TIMER"},
    {DSC_PRINT, "DSC_PRINT"},
    {DSC_SEND, "DSC_SEND"},
    {DSC_PROCSEND, "DSC_PROCSEND"},
    {DSC_INSTANCE_DECL, "DSC_INSTANCE_DECL"},
    {DSC_INSTANCE_USE, "DSC_INSTANCE_USE"},
    {DSC_INTERSEND, "DSC_INTERSEND"},
    {DSC_INTERRECV, "DSC_INTERRECV"},
    {DSC_RENDEZVOUS, "DSC_RENDEZVOUS"},
};

template <std::size_t N>
std::string_view nameIn(const std::pair<int, std::string_view> (&table)[N], int code)
{
    const auto found = std::find_if(std::begin(table), std::end(table), [code](const auto& row) { return row.first == code; });
    return found == std::end(table) ? std::string_view{} : found->second;
}

std::string prefixOf(const Origin& origin)
{
    return diag::positionPrefix(origin.fileName, origin.line);
}

void checkEntryCode(int code, const Origin& origin)
{
    if (code < 0 || code > kLastEntryCode) {
        diag::internal("ENTCODUNK", prefixOf(origin), std::to_string(code));
    }
}

void checkScope(const Scope* scope, const Origin& origin)
{
    if (scope == nullptr) {
        diag::internal("SCPBADPTR", prefixOf(origin));
    }
}

// Every (file name, file id) pair entries were made in, numbered from 1 in
// the order first met.
class EntryFileIndex {
public:
    EntryFileNumber numberOf(std::string_view name, int id)
    {
        if (name.empty() && id == 0) {
            return 0;
        }
        const auto found = numbers_.find(std::make_pair(id, name));
        if (found != numbers_.end()) {
            return found->second;
        }
        std::vector<Origin>& files = detail::entryFiles;
        if (files.empty()) {
            files.emplace_back();
        }
        if (files.size() > std::numeric_limits<EntryFileNumber>::max()) {
            base::memoryExhausted();
        }
        const std::string& kept = names_.emplace_back(name);
        const auto number = static_cast<EntryFileNumber>(files.size());
        files.push_back(Origin{kept, id, 0});
        numbers_.emplace(std::make_pair(id, std::string_view(kept)), number);
        return number;
    }

private:
    std::deque<std::string> names_;  // keep their places: the table views them
    std::map<std::pair<int, std::string_view>, EntryFileNumber> numbers_;
};

}  // namespace

namespace detail {
std::vector<Origin> entryFiles;
}  // namespace detail

EntryFileNumber entryFileNumber(std::string_view fileName, int fileId)
{
    static EntryFileIndex index;
    return index.numberOf(fileName, fileId);
}

std::string_view entryCodeName(int code)
{
    return nameIn(kEntryNames, code);
}

std::string_view descriptorCodeName(int code)
{
    return nameIn(kDescriptorNames, code);
}

namespace {

constexpr int kNonNilClass = 8;
constexpr int kVariadicClass = 15;
constexpr int kUnspecifiedClass = 17;

}  // namespace

namespace {

bool isNameCharacter(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// The text after a run of name characters; none when it does not begin with a name.
std::optional<std::string_view> afterName(std::string_view text)
{
    if (text.empty() || !isNameCharacter(text.front()) || std::isdigit(static_cast<unsigned char>(text.front())) != 0) {
        return std::nullopt;
    }
    std::size_t end = 0;
    while (end < text.size() && isNameCharacter(text[end])) {
        ++end;
    }
    return text.substr(end);
}

std::string_view withoutBlanks(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") + 1 - first);
}

}  // namespace

bool designatesObject(std::string_view text)
{
    text = withoutBlanks(text);
    std::size_t opened = 0;
    while (!text.empty() && (text.front() == '*' || text.front() == '(')) {
        opened += text.front() == '(' ? 1 : 0;
        text = withoutBlanks(text.substr(1));
    }
    std::optional<std::string_view> rest = afterName(text);
    while (rest && !rest->empty()) {
        text = withoutBlanks(*rest);
        if (text.starts_with('.') || text.starts_with("->")) {
            rest = afterName(withoutBlanks(text.substr(text.front() == '.' ? 1 : 2)));
        } else if (text.starts_with('[')) {
            const std::size_t close = text.find(']');
            rest = close == std::string_view::npos ? std::nullopt : std::optional(text.substr(close + 1));
        } else if (text.starts_with(')') && opened > 0) {
            --opened;
            rest = text.substr(1);
        } else {
            rest = std::nullopt;
        }
    }
    return rest.has_value() && opened == 0;
}

int ArgData::checkedClass() const
{
    if (expectedClass == kNonNilClass) {
        return kNonNilClass;
    }
    if (reference) {
        return result.empty() ? cls : resultClass;
    }
    const bool untold = parameterClass == kVariadicClass || parameterClass == kUnspecifiedClass || parameterClass < 0;
    // A pointer passed for an arithmetic parameter (a _Bool takes one without
    // a word) is checked as the pointer it is: the arithmetic check would
    // cast it to an integer.
    const bool pointerForNumber = cls >= 6 && cls <= 9 && parameterClass >= 0 && parameterClass <= 5;
    return untold || pointerForNumber ? cls : parameterClass;
}

int CallData::checkedClass() const
{
    if (expectedClass == kNonNilClass) {
        return kNonNilClass;
    }
    if (returnClass == kUnspecifiedClass || returnClass < 0) {
        return resultClass >= 0 ? resultClass : 2;
    }
    return returnClass;
}

bool DefMessageData::generated() const
{
    return procedure == nullptr || procedure->data<ProcData>().used;
}

Entry* Scope::ownerEntry() const
{
    return owner == nullptr ? nullptr : owner->owner;
}

Model::Model() : global_(std::make_unique<Scope>()) {}

Model::~Model() = default;

Scope& Model::makeScope(Descriptor& owner, Scope* parent)
{
    owner.subScope = &makeSideScope(owner, parent);
    return *owner.subScope;
}

Scope& Model::makeSideScope(Descriptor& owner, Scope* parent)
{
    Scope& scope = scopes_.make();
    scope.parent = parent;
    scope.owner = &owner;
    return scope;
}

Entry& Model::place(Scope* scope, Entry* where, int code, std::string_view name, const Origin& origin,
                    int auxiliary)
{
    checkScope(scope, origin);
    checkEntryCode(code, origin);
    Entry& entry = entries_.make();
    entry.serial = entryCount_++;
    scope->entries.insert(where, entry);
    entry.scope = scope;
    entry.code = static_cast<std::uint8_t>(code);
    entry.name = keep(name);
    entry.auxiliary = auxiliary;
    entry.line = origin.line;
    entry.file = fileNumber(origin);
    scope->codes.set(code);
    if (code == ENT_SCENARIO) {
        if (!scope->scenarios) {
            scope->scenarios = std::make_unique<ScenarioIndex>();
        }
        scope->scenarios->byName.emplace(entry.name.view(), &entry);
        if (scope->scenarios->first == nullptr || where == scope->scenarios->first) {
            scope->scenarios->first = &entry;
        }
    }
    if (scope == global_.get()) {
        index(entry);
    }
    return entry;
}

// Entries come in runs from one file.
EntryFileNumber Model::fileNumber(const Origin& origin)
{
    if (origin.fileId != lastFile_.fileId || origin.fileName != lastFile_.fileName) {
        lastFileNumber_ = entryFileNumber(origin.fileName, origin.fileId);
        lastFile_ = Origin{entryFileName(lastFileNumber_), origin.fileId, 0};
    }
    return lastFileNumber_;
}

void Model::changeFilter(Entry& entry, std::string_view filter)
{
    entry.filtered = !filter.empty();
    if (entry.filtered) {
        filters_.insert_or_assign(&entry, keep(filter));
    } else {
        filters_.erase(&entry);
    }
}

void Model::index(Entry& entry)
{
    if (!entry.name.empty()) {
        names_[static_cast<std::size_t>(entry.code)].emplace(entry.name.view(), &entry);
    }
}

Entry& Model::append(Scope* scope, int code, std::string_view name, const Origin& origin, int auxiliary)
{
    checkScope(scope, origin);
    return place(scope, nullptr, code, name, origin, auxiliary);
}

Entry& Model::insertOrdered(Scope* scope, int code, std::string_view name, int descriptorCode, int key,
                            const Origin& origin)
{
    checkScope(scope, origin);
    // Entries arrive mostly in increasing key order: search from the end.
    Entry* where = nullptr;
    for (Entry* before = scope->entries.lastEntry(); before != nullptr; before = before->prev) {
        if (before->descriptor != nullptr && before->descriptor->key <= key) {
            break;
        }
        where = before;
    }
    Entry& entry = place(scope, where, code, name, origin, 0);
    attach(entry, descriptorCode).key = key;
    return entry;
}

Entry& Model::prepend(Scope* scope, int code, std::string_view name, const Origin& origin, int auxiliary)
{
    checkScope(scope, origin);
    // The script entry stays first, and a procedure's parameters before its body.
    Entry* where = scope->entries.first();
    while (where != nullptr && (where->code == ENT_SCRIPT || where->code == ENT_PARAM)) {
        where = where->next;
    }
    return place(scope, where, code, name, origin, auxiliary);
}

Entry& Model::prependToBlock(Scope* scope, int code, std::string_view name, const Origin& origin, int auxiliary)
{
    checkScope(scope, origin);
    const auto isBlock = [](const Entry* owner) {
        switch (owner->code) {
        case ENT_SCENARIO:
        case ENT_PROC:
        case ENT_CALLBACK:
        case ENT_PROCSEND:
        case ENT_INITIALIZATION:
        case ENT_TERMINATION:
        case ENT_EXCEPTION:
        case ENT_INSTANCE_HASH_BEGIN: return true;
        default: return false;
        }
    };
    while (scope->parent != nullptr && scope->ownerEntry() != nullptr && !isBlock(scope->ownerEntry())) {
        scope = scope->parent;
    }
    return prepend(scope, code, name, origin, auxiliary);
}

Entry& Model::insertBeforeFirstScenario(Scope* scope, int code, std::string_view name, const Origin& origin,
                                        int auxiliary)
{
    checkScope(scope, origin);
    return place(scope, scope->firstScenario(), code, name, origin, auxiliary);
}

template <typename T>
void Model::hold(Descriptor& descriptor)
{
    if constexpr (kHeldApart<T>) {
        descriptor.data_.emplace<HeldApart<T>>(HeldApart<T>{&std::get<BlockStore<T>>(heldApart_).make()});
    } else {
        descriptor.data_.emplace<T>();
    }
}

void Model::fill(Descriptor& descriptor)
{
    switch (descriptor.code) {
    case DSC_SCRIPT: hold<ScriptData>(descriptor); break;
    case DSC_SCENARIO: hold<ScenarioData>(descriptor); break;
    case DSC_PROC: hold<ProcData>(descriptor); break;
    case DSC_CALL: hold<CallData>(descriptor); break;
    case DSC_ARG: hold<ArgData>(descriptor); break;
    case DSC_PARAM: hold<ParamData>(descriptor); break;
    case DSC_IF:
    case DSC_WHILE:
    case DSC_CASE: hold<ConditionData>(descriptor); break;
    case DSC_WAITTIL: hold<WaittilData>(descriptor); break;
    case DSC_INITIALIZATION:
    case DSC_TERMINATION:
    case DSC_EXCEPTION: hold<BlockData>(descriptor); break;
    case DSC_ENABLE_CLEANUP:
    case DSC_DISABLE_CLEANUP: hold<ProcedureRefData>(descriptor); break;
    case DSC_RETURN_VAR: hold<ReturnVarData>(descriptor); break;
    case DSC_VAR: hold<VarData>(descriptor); break;
    case DSC_VALUE: hold<ValueData>(descriptor); break;
    case DSC_DEF_MESSAGE: hold<DefMessageData>(descriptor); break;
    case DSC_COMMTYPE: hold<CommtypeData>(descriptor); break;
    case DSC_CHANNEL: hold<ChannelData>(descriptor); break;
    case DSC_EVENT_STRUCT: hold<EventStructData>(descriptor); break;
    case DSC_MESSAGE_VAR: hold<MessageVarData>(descriptor); break;
    case DSC_CALLBACK:
    case DSC_PROCSEND: hold<CommBlockData>(descriptor); break;
    case DSC_SEND: hold<SendData>(descriptor); break;
    case DSC_ADD_ID:
    case DSC_CLEAR_ID: hold<ChannelOpData>(descriptor); break;
    case DSC_MATCH_PIECE: hold<MatchPieceData>(descriptor); break;
    case DSC_POLL_PAIR: hold<PollPairData>(descriptor); break;
    case DSC_INTERSEND:
    case DSC_INTERRECV: hold<InterData>(descriptor); break;
    case DSC_PRINT: hold<TextPairData>(descriptor); break;
    case DSC_TIMER:
    case DSC_INSTANCE_DECL: hold<NumberData>(descriptor); break;
    case DSC_RENDEZVOUS:
    case DSC_INSTANCE_USE: hold<NameData>(descriptor); break;
    default: descriptor.data_.emplace<std::monostate>(); break;
    }
}

Descriptor& Model::attach(Entry& entry, int descriptorCode)
{
    if (descriptorCode < kFirstDescriptorCode || descriptorCode > kLastDescriptorCode) {
        diag::internal("DSCCODUNK", diag::positionPrefix(entry.fileName(), entry.line), std::to_string(descriptorCode));
    }
    entry.descriptor = &descriptors_.make();
    entry.descriptor->code = static_cast<std::int16_t>(descriptorCode);
    entry.descriptor->owner = &entry;
    fill(*entry.descriptor);
    return *entry.descriptor;
}

Entry* Model::findGlobal(int code, std::string_view name) const
{
    if (code < 0 || code > kLastEntryCode) {
        return nullptr;
    }
    const NameIndex& names = names_[static_cast<std::size_t>(code)];
    const auto found = names.find(name);
    return found == names.end() ? nullptr : found->second;
}

namespace {

Entry* findPair(std::map<std::pair<const Entry*, const Entry*>, Entry*>& table, const Entry* commtype,
                const Entry* structure)
{
    const auto found = table.find({commtype, structure});
    return found == table.end() ? nullptr : found->second;
}

}  // namespace

Entry* Model::findCallback(const Entry* commtype, const Entry* structure)
{
    return findPair(callbacks_, commtype, structure);
}

Entry* Model::findProcsend(const Entry* commtype, const Entry* structure)
{
    return findPair(procsends_, commtype, structure);
}

std::vector<Entry*> Model::callbacksOf(const Entry* structure) const
{
    std::vector<Entry*> found;
    std::copy_if(callbackOrder_.begin(), callbackOrder_.end(), std::back_inserter(found),
                 [&](const Entry* callback) { return callback->data<CommBlockData>().structure == structure; });
    return found;
}

void Model::registerCallback(Entry& callback)
{
    const auto& data = callback.data<CommBlockData>();
    if (callbacks_.emplace(std::make_pair(data.commtype, data.structure), &callback).second) {
        callbackOrder_.push_back(&callback);
    }
}

void Model::registerProcsend(Entry& procsend)
{
    const auto& data = procsend.data<CommBlockData>();
    procsends_.emplace(std::make_pair(data.commtype, data.structure), &procsend);
}

Entry* Model::findScenario(const Scope& scope, std::string_view name)
{
    if (!scope.scenarios) {
        return nullptr;
    }
    const auto found = scope.scenarios->byName.find(name);
    return found == scope.scenarios->byName.end() ? nullptr : found->second;
}

std::string qualifiedName(const Entry& scenario)
{
    const auto parentOf = [](const Entry* step) { return step->data<ScenarioData>().parent; };
    std::size_t length = 0;
    for (const Entry* step = &scenario; parentOf(step) != nullptr; step = parentOf(step)) {
        length += step->name.size() + 1;
    }
    if (length == 0) {
        return {};
    }
    // Filled from its end, the innermost name first.
    std::string name(length - 1, '.');
    std::size_t end = name.size();
    for (const Entry* step = &scenario; parentOf(step) != nullptr; step = parentOf(step)) {
        const std::string_view own = step->name;
        end -= own.size();
        own.copy(name.data() + end, own.size());
        end -= end > 0 ? 1 : 0;
    }
    return name;
}

void Model::release()
{
    descriptors_.forEach([](const Descriptor& descriptor) {
        if (descriptorCodeName(descriptor.code).empty()) {
            diag::internal("DSCCODUNK", diag::positionPrefix(descriptor.owner->fileName(), descriptor.owner->line),
                           std::to_string(descriptor.code));
        }
    });
    descriptors_.clear();
    std::apply([](auto&... stores) { (stores.clear(), ...); }, heldApart_);
    scopes_.clear();
    entries_.clear();
    filters_.clear();
    texts_.clear();
    classLists_.clear();
    entryCount_ = 0;
    global_->entries.clear();
    for (NameIndex& names : names_) {
        names.clear();
    }
    callbacks_.clear();
    procsends_.clear();
    callbackOrder_.clear();
    contextVariables_.reset();
    global_->scenarios.reset();
    global_->codes.reset();
}

}  // namespace qvm::script::sem
