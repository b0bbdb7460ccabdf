// The TDC writer's walk over the analysed model: one begin record (and for
// the constructs that have one, an end record) per traced construct, the
// numbers kept for the later writers.
#include "codegen/tdcgen_detail.h"

#include "diag/i18nerrgest.h"
#include "script/ctypefacts.h"

#include <algorithm>

namespace qvm::codegen::tdc {

using namespace script::sem;

namespace {

const Scope* subScopeOf(const Entry& entry)
{
    return entry.descriptor != nullptr ? entry.descriptor->subScope : nullptr;
}

std::string_view levelBlockName(int code)
{
    switch (code) {
    case ENT_INITIALIZATION: return "INITIALIZATION";
    case ENT_TERMINATION: return "TERMINATION";
    default: return "EXCEPTION";
    }
}

std::string withoutQuotes(std::string_view text)
{
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        return std::string(text.substr(1, text.size() - 2));
    }
    return std::string(text);
}

// The quoted family names, joined; a name that would bring them to the
// limit is left out, its characters counted in dropped.
std::string familyItems(const ScenarioData& data, std::size_t& dropped)
{
    std::string items;
    if (data.familyScope == nullptr) {
        return items;
    }
    for (const Entry& family : data.familyScope->entries) {
        const std::string item = tdcQuoted(family.name);
        if (items.size() + (items.empty() ? 0 : 2) + item.size() >= kHeaderItemsLimit) {
            dropped += item.size();
            continue;
        }
        items += (items.empty() ? "" : ", ") + item;
    }
    return items;
}

// The name of the parameter at index (from 0) of a script procedure, else
// of a C function; none when its declaration names none.
std::string_view parameterName(const Model& model, std::string_view function, std::size_t index)
{
    if (const Entry* procedure = model.findGlobal(ENT_PROC, function)) {
        const Scope* parameters = subScopeOf(*procedure);
        for (const Entry* parameter = parameters != nullptr ? parameters->entries.first() : nullptr;
             parameter != nullptr && parameter->code == ENT_PARAM; parameter = parameter->next) {
            if (index-- == 0) {
                return parameter->name;
            }
        }
        return {};
    }
    return script::parameterName(function, index);
}

// What the check of an argument compares after the call: the variable
// after its second '@', else the argument itself where it designates an
// object, else the parameter it is passed to ("parameter 2 of f" when the
// declaration does not name it).
std::string checkedName(const Model& model, const Entry& argument)
{
    const auto& data = argument.data<ArgData>();
    if (!data.result.empty()) {
        return std::string(data.result);
    }
    if (data.designator) {
        return std::string(data.text);
    }
    std::size_t index = 0;
    for (const Entry* before = argument.prev; before != nullptr; before = before->prev) {
        ++index;
    }
    const Entry* call = argument.scope->ownerEntry();
    const std::string_view function = call != nullptr ? std::string_view(call->name) : std::string_view();
    const std::string_view name = parameterName(model, function, index);
    if (!name.empty()) {
        return std::string(name);
    }
    return "parameter " + std::to_string(index + 1) + " of " + std::string(function);
}

// Callee and argument texts: "name(a, b)".
void writeCall(std::string& written, const Entry& call)
{
    written.clear();
    appendPieces(written, call.name, '(');
    if (const Scope* arguments = subScopeOf(call)) {
        for (const Entry& argument : arguments->entries) {
            if (&argument != arguments->entries.first()) {
                written += ", ";
            }
            written += argument.data<ArgData>().text;
        }
    }
    written += ')';
}

const Entry* structureOf(const Entry& message)
{
    return message.data<MessageVarData>().structure;
}

// The channel a WAITTIL piece names, or else the first channel it is polled on.
const Entry* channelOfPiece(const Entry& piece, const Scope& waittilScope)
{
    const auto& data = piece.data<MatchPieceData>();
    if (data.channel != nullptr) {
        return data.channel;
    }
    for (const Entry& pair : waittilScope.entries) {
        if (pair.code == ENT_POLL_PAIR && pair.data<PollPairData>().message == data.message) {
            return pair.data<PollPairData>().channel;
        }
    }
    return nullptr;
}

}  // namespace

void TdcWriter::statements(const Scope* scope)
{
    if (scope == nullptr) {
        return;
    }
    for (const Entry& entry : scope->entries) {
        statement(entry);
    }
}

void TdcWriter::statement(const Entry& entry)
{
    if (!isGenerated(entry)) {
        return;
    }
    switch (entry.code) {
    case ENT_SCRIPT: scriptHeader(entry); break;
    case ENT_SCENARIO: scenario(entry); break;
    case ENT_INITIALIZATION:
    case ENT_TERMINATION:
    case ENT_EXCEPTION: levelBlock(entry); break;
    case ENT_PROC: procedure(entry); break;
    case ENT_CALL: call(entry); break;
    case ENT_ARG: argument(entry); break;
    case ENT_SEND: send(entry); break;
    case ENT_WAITTIL: waittil(entry); break;
    case ENT_VAR: var(entry); break;
    case ENT_EVENT_STRUCT: messageType(entry); break;
    case ENT_CHANNEL: channel(entry); break;
    case ENT_ERROR: word(entry, "ERROR"); break;
    case ENT_MESSAGE_DATE: word(entry, "MSGDATE"); break;
    case ENT_NO_MESSAGE: word(entry, "NOMSG"); break;
    case ENT_ADD_ID: word(entry, "ADD_ID"); break;
    case ENT_EXIT: single(entry, "Q", newFields()); break;
    case ENT_SET: single(entry, "J", newFields().text(withoutQuotes(entry.name))); break;
    case ENT_UNSET: single(entry, "U", newFields().text(withoutQuotes(entry.name))); break;
    case ENT_COMMENT: single(entry, "C", newFields().text(entry.name)); break;
    case ENT_RENDEZVOUS:
        probeDefine(nextNumber(), "RDV_", entry.name);
        single(entry, "N", newFields().text(entry.name));
        break;
    case ENT_PRINT: {
        const auto& data = entry.data<TextPairData>();
        single(entry, "M", newFields().text(data.second).text(data.first));
        break;
    }
    case ENT_FLUSH_TRACE: single(entry, "FT", newFields().absent()); break;
    case ENT_TRACE_ON: single(entry, "TN", newFields().absent()); break;
    case ENT_TRACE_OFF: single(entry, "TF", newFields().absent()); break;
    case ENT_INTERSEND: single(entry, "ID", newFields().absent()); break;
    case ENT_INTERRECV: single(entry, "IC", newFields().absent()); break;
    case ENT_IF:
        statements(subScopeOf(entry));
        statements(entry.data<ConditionData>().elseScope);
        break;
    case ENT_WHILE:
    case ENT_CASE:
    case ENT_WHEN:
    case ENT_CALLBACK:
    case ENT_PROCSEND: statements(subScopeOf(entry)); break;
    default: break;
    }
}

void TdcWriter::single(const Entry& entry, std::string_view letters, const Fields& fields)
{
    numbers_.of(entry).begin = record(letters, fields, locationOf(entry));
}

void TdcWriter::word(const Entry& entry, std::string_view word)
{
    single(entry, "O", newFields().text(word));
}

// A STRING value keeps its quotes and is written as it is.
void TdcWriter::scriptHeader(const Entry& entry)
{
    Fields& fields = newFields();
    for (const std::string& value : entry.data<ScriptData>().header) {
        if (!value.empty() && value.front() == '"') {
            fields.raw(value);
        } else {
            fields.text(value);
        }
    }
    single(entry, "E", fields);
}

// Name, descriptive text (the qualified name), family names, repetition count.
void TdcWriter::scenario(const Entry& entry)
{
    const auto& data = entry.data<ScenarioData>();
    const bool root = data.parent == nullptr;
    Fields& fields = newFields();
    std::size_t droppedItems = 0;
    fields.text(entry.name).text(qualifiedName(entry)).raw(familyItems(data, droppedItems));
    if (droppedItems > 0) {
        reportCutRecord(locationOf(entry), droppedItems);
    }
    if (data.loopCount >= 1) {
        fields.number(data.loopCount);
    } else {
        fields.absent();
    }
    ItemNumbers& numbers = numbers_.of(entry);
    probeDefine(nextNumber(), root ? "Spts" : "Sscn");
    numbers.begin = record("S", fields, locationOf(entry));
    statements(subScopeOf(entry));
    probeDefine(nextNumber(), root ? "Epts" : "Escn");
    numbers.end = record("S", newFields().text(entry.name).absentTimes(3), locationOf(entry));
}

// Block name and the number of the procedure a call form calls.
void TdcWriter::levelBlock(const Entry& entry)
{
    Fields& fields = newFields();
    fields.text(levelBlockName(entry.code));
    const Entry* procedure = entry.data<BlockData>().procedure;
    const int called = procedure != nullptr ? numbers_.find(*procedure).begin : -1;
    if (called >= 0) {
        fields.number(called);
    } else {
        fields.absent();
    }
    ItemNumbers& numbers = numbers_.of(entry);
    numbers.begin = record("Z", fields, locationOf(entry));
    statements(subScopeOf(entry));
    numbers.end = record("Z", newFields().absentTimes(3), locationOf(entry));
}

void TdcWriter::procedure(const Entry& entry)
{
    ItemNumbers& numbers = numbers_.of(entry);
    numbers.begin = record("P", newFields().text(entry.name), locationOf(entry));
    statements(subScopeOf(entry));
    numbers.end = record("P", newFields().absent(), locationOf(entry));
}

// The descriptive text of a call is the call as written; its result is
// named by it too.
void TdcWriter::call(const Entry& entry)
{
    const auto& data = entry.data<CallData>();
    ItemNumbers& numbers = numbers_.of(entry);
    writeCall(callText_, entry);
    numbers.begin = record("A", newFields().text(entry.name).text(callText_), locationOf(entry));
    statements(subScopeOf(entry));
    if (!data.result.empty()) {
        Fields& result = newFields();
        result.text(callText_).text(data.result).text("0");
        if (data.expected.empty()) {
            result.absent();
        } else {
            result.text(data.expected);
        }
        record("R", result, locationOf(entry));
    }
    numbers.end = record("A", newFields().absentTimes(3), locationOf(entry));
}

// An argument without an expected value and with a result is output only.
// The record's first text names what its check compares after the call.
void TdcWriter::argument(const Entry& entry)
{
    const auto& data = entry.data<ArgData>();
    Fields& fields = newFields();
    fields.text(checkedName(*run_.model, entry)).text(data.result).text("1");
    if (!data.expected.empty()) {
        fields.text(data.expected);
    } else if (!data.result.empty()) {
        fields.absent();
    } else {
        if (data.reference) {
            fields.text({"&(", data.text, ")"});
        } else {
            fields.text(data.text);
        }
    }
    single(entry, "R", fields);
}

void TdcWriter::send(const Entry& entry)
{
    const auto& data = entry.data<SendData>();
    const std::string_view type = structureOf(*data.message)->name;
    const int number = nextNumber();
    if (probeDefine(number, "SEND_", type, "_", data.channel->name)) {
        probeCodes_.sends.push_back({structureOf(*data.message), data.channel, nullptr});
    }
    lastSend_ = std::max(lastSend_, number);
    ItemNumbers& numbers = numbers_.of(entry);
    numbers.begin = record("SD", newFields().text(type).text(data.channel->name), locationOf(entry));
    numbers.end = record("SD", newFields().absentTimes(2), locationOf(entry));
}

// Each MATCHING-family piece stands for one message variable of the WAITTIL.
void TdcWriter::waittil(const Entry& entry)
{
    const WaittilTexts& texts = *entry.data<WaittilData>().texts;
    const Scope& pieces = *subScopeOf(entry);
    const auto firstPiece = std::find_if(pieces.entries.begin(), pieces.entries.end(),
                                         [](const Entry& e) { return e.code == ENT_MATCH_PIECE; });
    if (firstPiece != pieces.entries.end()) {
        const Entry* channel = channelOfPiece(*firstPiece, pieces);
        const Entry* type = structureOf(*firstPiece->data<MatchPieceData>().message);
        const int number = nextNumber();
        if (channel != nullptr && probeDefine(number, "RECV_", type->name, "_", channel->name)) {
            probeCodes_.receives.push_back({type, channel, firstPiece->data<MatchPieceData>().message});
        }
        lastReceive_ = std::max(lastReceive_, number);
    }
    ItemNumbers& numbers = numbers_.of(entry);
    numbers.begin = record("W", newFields().text(texts.condition).text(texts.timeout), locationOf(entry));
    for (const Entry& piece : pieces.entries) {
        if (piece.code == ENT_MATCH_PIECE) {
            single(piece, "Y", newFields().text(piece.name));
        }
    }
    numbers.end = record("W", newFields().absentTimes(2), locationOf(entry));
}

// VARs that check (EV=) or dump (VA=) a variable; an INIT= only assigns.
void TdcWriter::var(const Entry& entry)
{
    if (entry.data<VarData>().mode == CheckMode::Init) {
        return;
    }
    ItemNumbers& numbers = numbers_.of(entry);
    numbers.begin = record("K", newFields().text(entry.name), locationOf(entry));
    if (const Scope* values = subScopeOf(entry)) {
        for (const Entry& value : values->entries) {
            itemPath_ = entry.name;
            describeEntry(value, Where::Var, nullptr, true);
        }
    }
    numbers.end = record("K", newFields().absent(), locationOf(entry));
}

void TdcWriter::messageType(const Entry& entry)
{
    if (!hasMessageRow(entry)) {
        return;
    }
    const Location at = locationOf(entry);
    ItemNumbers& numbers = numbers_.of(entry);
    probeDefine(nextNumber(), "EVT_", entry.name);
    numbers.begin = record("T", newFields().text(entry.name), at);
    if (const script::ValueTree* dump = entry.data<EventStructData>().receivedCheck.get()) {
        describeTree(dump->root(), at, {});
    }
    probeDefine(nextNumber(), "EEVT_", entry.name);
    numbers.end = record("T", newFields().absent(), at);
    const auto found = definitions_.find(&entry);
    if (found == definitions_.end()) {
        return;
    }
    for (const ScriptIndex::Definition& definition : found->second) {
        probeDefine(nextNumber(), "DEFM_", definition.entry->name);
        single(*definition.entry, "V", newFields().text(definition.entry->name));
        describeTree(*definition.root, locationOf(*definition.entry), definition.entry->name);
    }
}

void TdcWriter::channel(const Entry& entry)
{
    if (!entry.data<ChannelData>().used) {
        return;
    }
    probeDefine(nextNumber(), "CH_", entry.name);
    single(entry, "CN", newFields().text(entry.name));
}

// A message type has its rows when the generated program dumps, defines,
// sends or receives its messages.
bool TdcWriter::hasMessageRow(const Entry& structure) const
{
    if (structure.data<EventStructData>().receivedCheck != nullptr || definitions_.count(&structure) != 0) {
        return true;
    }
    const EntryList& globals = run_.model->global().entries;
    return std::any_of(globals.begin(), globals.end(), [&](const Entry& e) {
        return e.code == ENT_MESSAGE_VAR && e.data<MessageVarData>().used && structureOf(e) == &structure;
    });
}

}  // namespace qvm::codegen::tdc
