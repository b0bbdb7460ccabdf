// The model as text: one entry per line, for qvminspect and the tests.
#include "script/semmodel.h"

#include <variant>

namespace qvm::script::sem {

namespace {

// Collects "key=value" pairs separated by blanks.
class Fields {
public:
    Fields& text(std::string_view key, std::string_view value)
    {
        return raw(key, "\"" + std::string(value) + "\"");
    }
    Fields& number(std::string_view key, long long value) { return raw(key, std::to_string(value)); }
    Fields& flag(std::string_view key, bool value) { return raw(key, value ? "1" : "0"); }
    Fields& mark(std::string_view key, bool value) { return raw(key, value ? "yes" : "no"); }
    Fields& ref(std::string_view key, const Entry* entry)
    {
        return entry == nullptr ? raw(key, "-") : text(key, entry->name);
    }
    Fields& raw(std::string_view key, const std::string& value)
    {
        if (!out_.empty()) {
            out_ += ' ';
        }
        out_ += key;
        out_ += '=';
        out_ += value;
        return *this;
    }
    std::string take() { return std::move(out_); }

private:
    std::string out_;
};

std::string classList(std::span<const int> classes)
{
    std::string out;
    for (const int cls : classes) {
        out += (out.empty() ? "" : ",") + std::to_string(cls);
    }
    return out.empty() ? "-" : out;
}

void valueFields(Fields& f, const ValueData& d)
{
    if (d.element) {
        f.raw("index", std::to_string(d.lowerIndex) + ".." + std::to_string(d.upperIndex));
    }
    if (d.node == nullptr) {
        return;
    }
    const ValueNode& node = *d.node;
    if (node.kind == ValueKind::Bounded) {
        f.text("lower", node.lowerValue()).text("upper", node.upperValue());
    } else if (!node.text().empty()) {
        f.text("value", node.text());
    }
    if (node.kind == ValueKind::Array) {
        f.raw("bounds", std::to_string(node.lowerIndex) + ".." + std::to_string(node.upperIndex));
    }
    if (node.kind == ValueKind::Union) {
        f.number("member", node.selectedMember);
    }
    if (node.kind != ValueKind::IndexRange) {
        f.number("class", node.cls).text("type", node.typeImage());
    }
    if (node.wholeValue) {
        f.flag("whole", true);
    }
}

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

std::string fieldsOf(const Descriptor& descriptor)
{
    Fields f;
    descriptor.visit(Overloaded{
                   [](const std::monostate&) {},
                   [&](const ScriptData& d) {
                       f.text("header1", d.header[0]).text("header2", d.header[1]).text("header3", d.header[2]);
                   },
                   [&](const ScenarioData& d) {
                       f.text("qualified", qualifiedName(*descriptor.owner)).number("loop", d.loopCount).flag("leaf", d.leaf)
                           .number("line", d.line).mark("generate", d.selected);
                   },
                   [&](const ProcData& d) { f.mark("generate", d.used); },
                   [&](const CallData& d) {
                       f.text("expected", d.expected).text("result", d.result).ref("procedure", d.procedure)
                           .flag("cfunction", d.cFunction);
                       if (d.cFunction) {
                           f.number("return", d.returnClass).raw("params", classList(d.parameterClasses));
                       }
                       if (!d.expected.empty()) {
                           f.number("expectedclass", d.expectedClass);
                       }
                       if (d.resultClass >= 0) {
                           f.number("resultclass", d.resultClass);
                       }
                       if (d.expandedCall) {
                           f.flag("expanded", true);
                       }
                   },
                   [&](const ArgData& d) {
                       f.text("text", d.text).flag("ref", d.reference).number("class", d.cls);
                       if (d.parameterClass >= 0) {
                           f.number("param", d.parameterClass);
                       }
                       if (!d.expected.empty()) {
                           f.text("expected", d.expected).number("expectedclass", d.expectedClass);
                       }
                       if (!d.result.empty()) {
                           f.text("result", d.result).number("resultclass", d.resultClass);
                       }
                   },
                   [&](const ParamData& d) { f.text("type", d.type).number("class", d.cls); },
                   [&](const ConditionData& d) {
                       f.text("text", d.text);
                       if (d.code != d.text) {
                           f.text("code", d.code);
                       }
                       f.number("class", d.cls);
                       if (d.elseScope) {
                           f.flag("else", true);
                       }
                   },
                   [&](const WaittilData& d) {
                       const WaittilTexts& t = *d.texts;
                       f.number("number", d.number).text("condition", t.condition).text("timeout", t.timeout)
                           .text("limit", t.limit);
                       if (t.conditionCode != t.condition) {
                           f.text("condcode", t.conditionCode);
                       }
                       if (t.timeoutCode != t.timeout) {
                           f.text("timecode", t.timeoutCode);
                       }
                   },
                   [&](const BlockData& d) { f.ref("procedure", d.procedure); },
                   [&](const ProcedureRefData& d) { f.ref("procedure", d.procedure); },
                   [&](const ReturnVarData& d) { f.number("number", d.number).number("class", d.cls); },
                   [&](const VarData& d) {
                       f.text("variable", descriptor.owner->name).text("keyword", d.keyword()).text("check", d.check)
                           .ref("message", d.message).number("format", d.formatCode);
                   },
                   [&](const ValueData& d) { valueFields(f, d); },
                   [&](const DefMessageData& d) {
                       f.number("number", d.number).ref("message", d.message).text("check", d.check)
                           .flag("inproc", d.inProcedure).mark("tree", static_cast<bool>(d.tree))
                           .mark("generate", d.generated());
                   },
                   [&](const CommtypeData& d) {
                       f.text("idtype", d.idType).number("index", d.typeIndex).number("channels", d.channelCount)
                           .flag("multiplexing", d.multiplexing).mark("used", d.used);
                   },
                   [&](const ChannelData& d) {
                       f.ref("commtype", d.commtype).number("index", d.index).mark("used", d.used);
                   },
                   [&](const EventStructData& d) {
                       f.number("index", d.index).number("messages", d.messageCount).ref("callback", d.callback);
                       if (d.triggerChannel != nullptr) {
                           f.ref("channel", d.triggerChannel);
                       }
                       f.mark("selection", !d.companion.empty()).mark("rcvcheck", d.receivedCheck != nullptr);
                   },
                   [&](const MessageVarData& d) {
                       f.ref("structure", d.structure).number("index", d.index).mark("used", d.used)
                           .mark("sent", d.sent);
                   },
                   [&](const CommBlockData& d) {
                       f.ref("commtype", d.commtype).ref("structure", d.structure).text("msgvar", d.messageVar)
                           .text("idvar", d.idVar);
                       if (d.multiplexed) {
                           f.text("countvar", d.countVar);
                       }
                       f.mark("used", d.used);
                   },
                   [&](const SendData& d) {
                       f.ref("message", d.message).ref("channel", d.channel).ref("procsend", d.procsend);
                   },
                   [&](const ChannelOpData& d) {
                       f.text("channel", d.channel);
                       if (!d.id.empty()) {
                           f.text("id", d.id).flag("constant", d.constant);
                       }
                   },
                   [&](const MatchPieceData& d) {
                       f.text("display", d.display).text("code", d.code).ref("message", d.message)
                           .ref("channel", d.channel);
                   },
                   [&](const PollPairData& d) {
                       f.ref("structure", d.structure).ref("channel", d.channel).ref("callback", d.callback);
                   },
                   [&](const InterData& d) {
                       f.text("first", d.first).number("class1", d.firstClass);
                       if (!d.second.empty()) {
                           f.text("second", d.second).number("class2", d.secondClass);
                       }
                   },
                   [&](const TextPairData& d) {
                       f.text("first", d.first);
                       if (!d.second.empty()) {
                           f.text("second", d.second);
                       }
                   },
                   [&](const NumberData& d) { f.number("number", d.number); },
                   [&](const NameData& d) { f.text("name", d.name); },
               });
    return f.take();
}

void entryLine(const Entry& entry, std::string_view filter, std::size_t depth, std::string& out)
{
    out.append(2 * depth, ' ');
    out += entryCodeName(entry.code);
    out += '\t';
    out += entry.name.empty() ? std::string_view("\"\"") : entry.name.view();
    out += '\t';
    out += entry.fileName();
    out += ':';
    out += std::to_string(entry.line);
    out += '\t';
    if (!entry.descriptor) {
        out += '-';
    } else {
        out += descriptorCodeName(entry.descriptor->code);
        const std::string fields = fieldsOf(*entry.descriptor);
        if (!fields.empty()) {
            out += ' ';
            out += fields;
        }
    }
    if (entry.auxiliary != 0 || entry.code == ENT_WAITTIL_REF) {
        out += " aux=" + std::to_string(entry.auxiliary);
    }
    if (!filter.empty()) {
        out += " filter=\"";
        out += filter;
        out += '"';
    }
    out += '\n';
}

// What is left to print: an entry, the entries of a scope, or a plain line.
struct Pending {
    const Entry* entry = nullptr;
    const Scope* scope = nullptr;
    std::string_view line;
    std::size_t depth = 0;
};

void pushScope(std::vector<Pending>& pending, const Scope* scope, std::size_t depth)
{
    if (scope != nullptr) {
        pending.push_back({nullptr, scope, {}, depth});
    }
}

}  // namespace

std::string describeFields(const Descriptor& descriptor)
{
    return fieldsOf(descriptor);
}

std::string dumpModel(const Model& model, int instanceMode, int instanceNumber, int timerCount)
{
    std::string out;
    std::vector<Pending> pending;
    pushScope(pending, &model.global(), 0);
    while (!pending.empty()) {
        const Pending next = pending.back();
        pending.pop_back();
        if (next.scope != nullptr) {
            for (auto it = next.scope->entries.rbegin(); it != next.scope->entries.rend(); ++it) {
                pending.push_back({&*it, nullptr, {}, next.depth});
            }
        } else if (next.entry == nullptr) {
            out.append(2 * next.depth, ' ');
            out += next.line;
            out += '\n';
        } else {
            entryLine(*next.entry, model.filterOf(*next.entry), next.depth, out);
            const Descriptor* descriptor = next.entry->descriptor;
            if (descriptor == nullptr) {
                continue;
            }
            // Pushed in reverse: family names, then the sub-scope, then ELSE.
            if (const auto* condition = descriptor->find<ConditionData>(); condition && condition->elseScope) {
                pushScope(pending, condition->elseScope, next.depth + 1);
                pending.push_back({nullptr, nullptr, "ELSE", next.depth});
            }
            pushScope(pending, descriptor->subScope, next.depth + 1);
            if (const auto* scenario = descriptor->find<ScenarioData>(); scenario && scenario->familyScope) {
                pushScope(pending, scenario->familyScope, next.depth + 1);
            }
        }
    }
    if (model.commtypeCounter() != 0 || model.eventStructCount() != 0) {
        out += "commtypes=" + std::to_string(model.commtypeCounter()) +
               " highest-channel=" + std::to_string(model.highestChannelIndex()) +
               " event-structs=" + std::to_string(model.eventStructCount()) + "\n";
    }
    out += "instance-mode=" + std::to_string(instanceMode) + " instance=" + std::to_string(instanceNumber) +
           " timers=" + std::to_string(timerCount) + "\n";
    return out;
}

}  // namespace qvm::script::sem
