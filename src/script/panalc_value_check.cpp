// Form checks of a value, before any type is looked at, and the evaluation
// of index bounds as integer constant expressions.
#include "base/mstrin.h"
#include "canalysis/declarations/cexpr.h"
#include "diag/i18nerrgest.h"
#include "script/ancgest.h"
#include "script/panalc_value_detail.h"

#include <algorithm>
#include <charconv>
#include <utility>
#include <vector>

namespace qvm::script::value {

namespace {

// Enumeration constants whose value texts name further constants are
// followed this far; a longer chain is taken for a loop.
constexpr int kMaxEnumerationChain = 64;

const canalysis::DiagnosticCallback& silentCallback()
{
    static const canalysis::DiagnosticCallback silent = [](int, std::string_view, std::string_view,
                                                            std::string_view, int) {};
    return silent;
}

long long toLongLong(const canalysis::PInt& value)
{
    unsigned long long bits = 0;
    for (int byte = 8; byte >= 1; --byte) {
        bits = (bits << 8) | value.bytes[static_cast<std::size_t>(byte)];
    }
    return static_cast<long long>(bits);
}

// Wrapping arithmetic: an index that overflows is out of any array anyway.
long long wrap(unsigned long long bits)
{
    return static_cast<long long>(bits);
}

// A decimal number of a few digits, which needs no parse (a leading zero
// makes an octal one).
std::optional<long long> plainDecimal(std::string_view text)
{
    constexpr std::size_t kMaxDigits = 9;
    if (text.empty() || text.size() > kMaxDigits || (text.front() == '0' && text.size() > 1) ||
        !std::ranges::all_of(text, base::isDigit)) {
        return std::nullopt;
    }
    long long value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

class IndexEvaluator {
public:
    IndexEvaluator(const Place& place, bool report)
        : place_(place), report_(report), callback_(report ? place.callback : silentCallback())
    {
    }

    std::optional<long long> evaluateText(std::string_view text, int chain)
    {
        if (chain > kMaxEnumerationChain) {
            return refuse("CONSTINIT", text);
        }
        if (const std::optional<long long> number = plainDecimal(text)) {
            return number;
        }
        canalysis::C_CPP_set_expression_table(&cSymbols(), place_.scope);
        auto tree = canalysis::C_CPP_parse_expr(text, place_.file, place_.line,
                                                callback_);
        if (!tree) {
            return refuse("CONSTINIT", text);
        }
        if (tree->root->height > canalysis::kShallowTree) {
            return refuse("EXPERRONE", "", diag::Warning);
        }
        return evaluate(tree->root, chain);
    }

private:
    std::optional<long long> refuse(diag::MessageCode code, std::string_view argument,
                                    diag::Severity severity = diag::Error)
    {
        if (report_) {
            diag::reportLocated(severity, code, argument, place_.file, place_.line);
        }
        return std::nullopt;
    }

    std::optional<long long> evaluate(const canalysis::ExprNode* node, int chain)
    {
        using namespace canalysis;
        switch (node->kind) {
        case kExprInteger:
            return toLongLong(node->constant.value);
        case kExprIdentifier:
            return evaluateName(base::identText(node->name), chain);
        case kExprParenthesised:
        case kExprCast:
            return evaluate(node->child[0], chain);
        case kExprUnary:
            return evaluateUnary(node, chain);
        case kExprBinary:
            return evaluateBinary(node, chain);
        case kExprConditional: {
            const auto condition = evaluate(node->child[0], chain);
            if (!condition) {
                return std::nullopt;
            }
            return evaluate(node->child[*condition != 0 ? 1 : 2], chain);
        }
        case kExprError:
            return std::nullopt;  // the C analysis reported it
        default:
            return refuse("CONSTINIT", C_CPP_expr_image(node));
        }
    }

    std::optional<long long> evaluateName(const std::string& name, int chain)
    {
        const canalysis::EnumerationConstant* constant = canalysis::findEnumerationConstant(base::ident(name));
        if (constant == nullptr || constant->value == nullptr) {
            return refuse("CONSTINIT", name);
        }
        return evaluateText(base::identText(constant->value), chain + 1);
    }

    std::optional<long long> evaluateUnary(const canalysis::ExprNode* node, int chain)
    {
        const auto operand = evaluate(node->child[0], chain);
        if (!operand) {
            return std::nullopt;
        }
        const auto bits = static_cast<unsigned long long>(*operand);
        switch (node->op) {
        case '-': return wrap(0ULL - bits);
        case '+': return *operand;
        case '~': return wrap(~bits);
        case '!': return *operand == 0 ? 1 : 0;
        default: return refuse("CONSTINIT", canalysis::C_CPP_expr_image(node));
        }
    }

    std::optional<long long> evaluateBinary(const canalysis::ExprNode* node, int chain)
    {
        const auto left = evaluate(node->child[0], chain);
        const auto right = left ? evaluate(node->child[1], chain) : std::nullopt;
        if (!left || !right) {
            return std::nullopt;
        }
        return combine(node, *left, *right);
    }

    std::optional<long long> combine(const canalysis::ExprNode* node, long long a, long long b)
    {
        using namespace canalysis;
        const auto ua = static_cast<unsigned long long>(a);
        const auto ub = static_cast<unsigned long long>(b);
        switch (node->op) {
        case '+': return wrap(ua + ub);
        case '-': return wrap(ua - ub);
        case '*': return wrap(ua * ub);
        case '/':
        case '%':
            if (b == 0) {
                return refuse("DIVBYZERO", "");
            }
            if (b == -1) {
                return node->op == '/' ? wrap(0ULL - ua) : 0;
            }
            return node->op == '/' ? a / b : a % b;
        case '&': return wrap(ua & ub);
        case '|': return wrap(ua | ub);
        case '^': return wrap(ua ^ ub);
        case kOpShiftLeft: return wrap(ua << (ub & 63U));
        case kOpShiftRight: return a >> (ub & 63U);
        case '<': return a < b ? 1 : 0;
        case '>': return a > b ? 1 : 0;
        case kOpLessEqual: return a <= b ? 1 : 0;
        case kOpGreaterEqual: return a >= b ? 1 : 0;
        case kOpEqual: return a == b ? 1 : 0;
        case kOpNotEqual: return a != b ? 1 : 0;
        case kOpAnd: return a != 0 && b != 0 ? 1 : 0;
        case kOpOr: return a != 0 || b != 0 ? 1 : 0;
        default: return refuse("CONSTINIT", C_CPP_expr_image(node));
        }
    }

    const Place& place_;
    bool report_;
    canalysis::DiagnosticCallback callback_;
};

void reportError(diag::MessageCode code, std::string_view argument, const Place& place)
{
    diag::reportLocated(diag::Error, code, argument, place.file, place.line);
}

bool isDesignatedByName(const ElementSyntax& element)
{
    const Designator::Kind kind = element.designator.kind;
    return kind == Designator::Field || kind == Designator::Index || kind == Designator::Range;
}

bool checkOthersLast(const ValueSyntax& list, const Place& place)
{
    for (std::size_t i = 0; i + 1 < list.elements.size(); ++i) {
        if (list.elements[i].designator.kind == Designator::Others) {
            reportError("ENDOTHERS", list.text, place);
            return false;
        }
    }
    return true;
}

bool checkDesignationNotMixed(const ValueSyntax& list, const Place& place)
{
    const auto positional = [](const ElementSyntax& e) { return e.designator.kind == Designator::None; };
    if (std::ranges::any_of(list.elements, positional) && std::ranges::any_of(list.elements, isDesignatedByName)) {
        reportError("VARPOSNAM", list.text, place);
        return false;
    }
    return true;
}

// Lists are short (a value text is one token of the script), so each field
// designator is looked for among the earlier ones.
bool checkFieldsOnce(const ValueSyntax& list, const Place& place)
{
    bool ok = true;
    const auto begin = list.elements.begin();
    for (auto element = begin; element != list.elements.end(); ++element) {
        const Designator& designator = element->designator;
        const auto sameField = [&designator](const ElementSyntax& earlier) {
            return earlier.designator.kind == Designator::Field && earlier.designator.text == designator.text;
        };
        if (designator.kind == Designator::Field && std::any_of(begin, element, sameField)) {
            reportError("STRFLDALR", designator.text, place);
            ok = false;
        }
    }
    return ok;
}

bool evaluateDesignator(Designator& designator, const Place& place)
{
    const auto lower = evaluateIndex(designator.lower, place, true);
    const auto upper = designator.kind == Designator::Index ? lower : evaluateIndex(designator.upper, place, true);
    if (!lower || !upper) {
        return false;
    }
    designator.evaluated = true;
    designator.first = std::min(*lower, *upper);
    designator.last = std::max(*lower, *upper);
    return true;
}

bool checkIndices(ValueSyntax& list, const Place& place)
{
    bool ok = true;
    std::vector<const Designator*> done;
    for (ElementSyntax& element : list.elements) {
        Designator& designator = element.designator;
        if (designator.kind != Designator::Index && designator.kind != Designator::Range) {
            continue;
        }
        if (!evaluateDesignator(designator, place)) {
            ok = false;
            continue;
        }
        const auto overlaps = [&designator](const Designator* other) {
            return other->first <= designator.last && designator.first <= other->last;
        };
        if (std::ranges::any_of(done, overlaps)) {
            reportError("COMBNDSEC", designator.text, place);
            ok = false;
        }
        done.push_back(&designator);
    }
    return ok;
}

bool checkList(ValueSyntax& list, const Place& place)
{
    bool ok = checkOthersLast(list, place);
    ok = checkDesignationNotMixed(list, place) && ok;
    ok = checkFieldsOnce(list, place) && ok;
    return checkIndices(list, place) && ok;
}

}  // namespace

std::optional<long long> evaluateIndex(std::string_view text, const Place& place, bool report)
{
    return IndexEvaluator(place, report).evaluateText(text, 0);
}

bool checkValueForm(ValueSyntax& value, const Place& place)
{
    if (value.kind != ValueSyntax::List) {
        return true;
    }
    bool ok = true;
    // The nested lists still to check, last first: lists are checked in text
    // order.
    std::vector<ValueSyntax*> pending;
    for (ValueSyntax* next = &value;;) {
        ok = checkList(*next, place) && ok;
        for (auto element = next->elements.rbegin(); element != next->elements.rend(); ++element) {
            if (element->value.kind == ValueSyntax::List) {
                pending.push_back(&element->value);
            }
        }
        if (pending.empty()) {
            return ok;
        }
        next = pending.back();
        pending.pop_back();
    }
}

}  // namespace qvm::script::value
