// Variable checks: the VAR statement and the walk over a variable
// description that checks, assigns or dumps each of its fields.
#include "codegen/cprggen_vars.h"

#include "codegen/cprggen_chardata.h"

#include "base/mstrin.h"
#include "diag/i18nerrgest.h"
#include "script/exprclass.h"
#include "script/prtanac.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace qvm::codegen::program {

using namespace script::sem;

namespace {

// The access path of a received message in the message functions.
constexpr std::string_view kReceived = "trv_msgrcv";

constexpr int kClassEnum = 0;
constexpr int kClassChar = 1;
constexpr int kClassInt = 2;
constexpr int kClassLong = 3;
constexpr int kClassDouble = 5;
constexpr int kClassString = 6;
constexpr int kClassCharArray = 7;
constexpr int kClassNonNil = 8;
constexpr int kClassPointer = 9;

constexpr int kFormatHex = 0;
constexpr int kFormatDecimal = 1;
constexpr int kFormatBinary = 2;
constexpr int kFormatNatural = 6;

// The word characters of ASCII. A letter or digit of ASCII is one in every
// locale, and the other ASCII characters are none: only the bytes beyond
// ask the locale.
constexpr auto kAsciiWordChars = [] {
    std::array<bool, 0x80> word{};
    for (std::size_t c = 0; c < word.size(); ++c) {
        word[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$';
    }
    return word;
}();

bool isWordChar(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < kAsciiWordChars.size() ? kAsciiWordChars[byte] : std::isalnum(byte) != 0;
}

// The name a path begins with, blanks left out: the word characters before
// any other. Most paths have no blank in it, and their name is a view of
// the path itself; otherwise the name is put together in storage.
std::string_view firstNameOf(std::string_view path, std::string& storage)
{
    std::size_t end = 0;
    while (end < path.size() && isWordChar(path[end])) {
        ++end;
    }
    if (end == path.size() || !base::isTextBlank(path[end])) {
        return path.substr(0, end);
    }
    storage.clear();
    for (const char c : path) {
        if (base::isTextBlank(c)) {
            continue;
        }
        if (!isWordChar(c)) {
            break;
        }
        storage += c;
    }
    return storage;
}

std::string_view afterReceived(std::string_view path)
{
    return path.starts_with(kReceived) ? path.substr(kReceived.size()) : std::string_view();
}

bool traces(WalkMode mode)
{
    return mode == WalkMode::Expect || mode == WalkMode::DumpReference || mode == WalkMode::Dump;
}

// The display base of an integer or character check; "" for other classes.
std::string_view baseOf(int cls, int formatCode)
{
    const int code = formatCode < 0 ? kFormatNatural : formatCode;
    if (cls == kClassEnum || cls == kClassInt || cls == kClassLong) {
        return code == kFormatHex ? ",TRV_P_BASE16" : code == kFormatBinary ? ",TRV_P_BASE2" : ",TRV_P_BASE10";
    }
    if (cls == kClassChar) {
        switch (code) {
        case kFormatHex: return ",TRV_P_BASE16";
        case kFormatDecimal: return ",TRV_P_BASE10";
        case kFormatBinary: return ",TRV_P_BASE2";
        default: return ",TRV_P_BASE8";
        }
    }
    return {};
}

}  // namespace

std::string_view rangeFamily(int cls)
{
    switch (cls) {
    case kClassEnum:
    case kClassInt: return "int";
    case kClassChar: return "byte";
    case kClassLong: return "long";
    case 4: return "float";
    case kClassDouble: return "double";
    default: return {};
    }
}

std::string_view runtimeTypeName(int cls)
{
    static constexpr std::string_view kNames[] = {"TRV_T_ENUM",   "TRV_T_CAR",  "TRV_T_INT",   "TRV_T_LONG",
                                                  "TRV_T_REAL",   "TRV_T_DOUBLE", "TRV_PT_CAR", "TRV_T_CAR",
                                                  "TRV_PT_VOID",  "TRV_PT_VOID"};
    return cls >= 0 && cls < static_cast<int>(std::size(kNames)) ? kNames[cls] : "TO_BE_COMPLETED";
}

std::string_view runtimeCast(int cls)
{
    static constexpr std::string_view kCasts[] = {
        "(TRV_T_ENUM) ",   "(TRV_T_CAR) ",  "(TRV_T_INT) ",  "(TRV_T_LONG) ",  "(TRV_T_REAL) ",
        "(TRV_T_DOUBLE) ", "(TRV_PT_CAR) ", "(TRV_PT_CAR) ", "(TRV_PT_VOID) ", "(TRV_PT_VOID) "};
    return cls >= 0 && cls < static_cast<int>(std::size(kCasts)) ? kCasts[cls] : std::string_view();
}

namespace {

bool isBlankChar(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The end of the literal or the bracketed text that opens at `at`; npos
// when it is not closed.
std::size_t closingOf(std::string_view text, std::size_t at)
{
    const char open = text[at];
    if (open == '"' || open == '\'') {
        for (std::size_t i = at + 1; i < text.size(); ++i) {
            if (text[i] == '\\') {
                ++i;
            } else if (text[i] == open) {
                return i + 1;
            }
        }
        return std::string_view::npos;
    }
    const char close = open == '(' ? ')' : ']';
    int depth = 0;
    for (std::size_t i = at; i < text.size(); ++i) {
        if (text[i] == '"' || text[i] == '\'') {
            i = closingOf(text, i);
            if (i == std::string_view::npos) {
                return i;
            }
            --i;
        } else if (text[i] == open) {
            ++depth;
        } else if (text[i] == close && --depth == 0) {
            return i + 1;
        }
    }
    return std::string_view::npos;
}

// A name or a number ("1.5e-3", "0x1p+4", "10UL"), from at.
std::size_t wordEnd(std::string_view text, std::size_t at)
{
    const bool number = std::isdigit(static_cast<unsigned char>(text[at])) != 0 || text[at] == '.';
    const bool hex = number && text.substr(at, 2) == "0x";
    std::size_t i = at;
    while (i < text.size()) {
        const char c = text[i];
        const char before = i > at ? text[i - 1] : '\0';
        const bool exponentSign = number && (c == '+' || c == '-') &&
                                  (hex ? (before == 'p' || before == 'P') : (before == 'e' || before == 'E'));
        if (!isWordChar(c) && c != '.' && !exponentSign) {
            break;
        }
        ++i;
    }
    return i;
}

std::size_t skipBlanks(std::string_view text, std::size_t at)
{
    while (at < text.size() && isBlankChar(text[at])) {
        ++at;
    }
    return at;
}

// The end of the primary expression at `at`, npos when there is none.
std::size_t primaryEnd(std::string_view text, std::size_t at)
{
    if (at >= text.size()) {
        return std::string_view::npos;
    }
    const char c = text[at];
    if (c == '"' || c == '\'' || c == '(') {
        return closingOf(text, at);
    }
    const std::size_t end = wordEnd(text, at);
    return end > at ? end : std::string_view::npos;
}

// The end of the postfix operators ([i], (a), .f, ->f) after `at`.
std::size_t postfixEnd(std::string_view text, std::size_t at)
{
    for (;;) {
        const std::size_t next = skipBlanks(text, at);
        if (next >= text.size()) {
            return at;
        }
        std::size_t end = std::string_view::npos;
        if (text[next] == '[' || text[next] == '(') {
            end = closingOf(text, next);
        } else if (text[next] == '.' || text.substr(next, 2) == "->") {
            const std::size_t name = skipBlanks(text, next + (text[next] == '.' ? 1 : 2));
            end = name < text.size() && isWordChar(text[name]) ? wordEnd(text, name) : std::string_view::npos;
        }
        if (end == std::string_view::npos) {
            return at;
        }
        at = end;
    }
}

}  // namespace

bool isOneOperand(std::string_view text)
{
    std::size_t at = skipBlanks(text, 0);
    // Prefix operators bind as tightly as a cast; "++", "--" and "&&" are
    // left to the parentheses.
    while (at < text.size() && std::string_view("-+!~*&").find(text[at]) != std::string_view::npos) {
        if (at + 1 < text.size() && text[at + 1] == text[at] && text[at] != '!' && text[at] != '~' &&
            text[at] != '*') {
            return false;
        }
        at = skipBlanks(text, at + 1);
    }
    const std::size_t primary = primaryEnd(text, at);
    if (primary == std::string_view::npos) {
        return false;
    }
    return skipBlanks(text, postfixEnd(text, primary)) == text.size();
}

std::string_view defaultValue(int cls)
{
    switch (cls) {
    case 1: return "'\\0', ";
    case 4:
    case 5: return "0.0, ";
    case 6:
    case 7: return "\"\", ";
    case 8: return "1, ";
    default: return "0, ";
    }
}

namespace {

enum CheckFamily : std::size_t {
    kCheckInt,
    kCheckChar,
    kCheckByteTab,
    kCheckByte,
    kCheckLong,
    kCheckFloat,
    kCheckDouble,
    kCheckString,
    kCheckNonNil,
    kCheckPointer,
    kCheckFamilies
};

constexpr std::array<std::string_view, kCheckFamilies> kCheckFamilyNames = {
    "int", "char", "bytetab", "byte", "long", "float", "double", "string", "nonil", "pointer"};

CheckFamily checkFamily(int cls, int formatCode, bool compare)
{
    switch (cls) {
    case kClassEnum:
    case kClassInt: return kCheckInt;
    case kClassChar:
        if (compare) {
            return kCheckChar;
        }
        return formatCode == kFormatHex ? kCheckByteTab
               : (formatCode < 0 || formatCode == kFormatNatural) ? kCheckChar
                                                                   : kCheckByte;
    case kClassLong: return kCheckLong;
    case 4: return kCheckFloat;
    case kClassDouble: return kCheckDouble;
    case kClassString:
    case kClassCharArray: return kCheckString;
    case kClassNonNil: return kCheckNonNil;
    default: return kCheckPointer;
    }
}

constexpr std::array<std::string_view, 4> kCheckCallPrefixes = {"", "var_", "cmp_", "dmp_"};

CheckCall checkCallOf(WalkMode mode)
{
    switch (mode) {
    case WalkMode::Expect: return CheckCall::Expect;
    case WalkMode::Compare: return CheckCall::Compare;
    case WalkMode::DumpReference:
    case WalkMode::Dump: return CheckCall::Dump;
    case WalkMode::Init: break;
    }
    return CheckCall::Plain;
}

}  // namespace

std::string_view checkCallHead(CheckCall kind, int cls, int formatCode, bool compare)
{
    using Heads = std::array<std::array<std::string, kCheckFamilies>, kCheckCallPrefixes.size()>;
    static const Heads heads = [] {
        Heads made;
        for (std::size_t prefix = 0; prefix < kCheckCallPrefixes.size(); ++prefix) {
            for (std::size_t family = 0; family < kCheckFamilies; ++family) {
                made[prefix][family] =
                    joinedPieces("trv_", kCheckCallPrefixes[prefix], kCheckFamilyNames[family], "_c (", kRun, ",");
            }
        }
        return made;
    }();
    return heads[static_cast<std::size_t>(kind)][checkFamily(cls, formatCode, compare)];
}

namespace {

// The texts of a check line that depend only on its kind, class and format,
// made once for each of their combinations: a line takes them as they are.
struct CheckTexts {
    std::string_view head;  // the start of the call, up to its record number
    std::string opening;    // ", " and the cast of the checked field
    std::string cast;       // "," and the cast of the expected or reference value
    std::string_view base;  // the display base, "" for classes without one
};

// Classes beyond the known ones have no cast and are checked as pointers:
// they share the last row. The format codes with the same texts share one,
// made for the first code given here: no code, hex, decimal, binary, and
// any of the others but the natural one, which has no code's texts.
constexpr int kKnownClasses = 10;
constexpr int kOtherFormat = 3;
constexpr std::array<int, 5> kFormatRows = {-1, kFormatHex, kFormatDecimal, kFormatBinary, kOtherFormat};

std::size_t formatRow(int formatCode)
{
    switch (formatCode) {
    case kFormatHex: return 1;
    case kFormatDecimal: return 2;
    case kFormatBinary: return 3;
    default: return formatCode < 0 || formatCode == kFormatNatural ? 0 : 4;
    }
}

const CheckTexts& checkTexts(CheckCall kind, int cls, int formatCode)
{
    using Rows = std::array<std::array<std::array<CheckTexts, kFormatRows.size()>, kKnownClasses + 1>, 4>;
    static const Rows rows = [] {
        Rows made;
        for (std::size_t call = 0; call < made.size(); ++call) {
            const auto kindOfRow = static_cast<CheckCall>(call);
            for (int row = 0; row <= kKnownClasses; ++row) {
                const int rowClass = row < kKnownClasses ? row : -1;
                for (std::size_t format = 0; format < kFormatRows.size(); ++format) {
                    const std::string_view cast = runtimeCast(rowClass);
                    made[call][static_cast<std::size_t>(row)][format] = {
                        checkCallHead(kindOfRow, rowClass, kFormatRows[format], kindOfRow == CheckCall::Compare),
                        joinedPieces(", ", cast), joinedPieces(",", cast), baseOf(rowClass, kFormatRows[format])};
                }
            }
        }
        return made;
    }();
    const auto row = static_cast<std::size_t>(cls >= 0 && cls < kKnownClasses ? cls : kKnownClasses);
    return rows[static_cast<std::size_t>(kind)][row][formatRow(formatCode)];
}

}  // namespace

VarsWriter::VarsWriter(ProgramContext& context) : SectionWriter(context)
{
    readFieldFormats();
}

void VarsWriter::forMessageType(const Entry& type, const std::function<void()>& write)
{
    currentMessageType_ = type.name;
    locateWalk(type);
    write();
    currentMessageType_.clear();
}

void VarsWriter::walkTree(const script::ValueNode& root, std::string_view name, WalkMode mode)
{
    VarItem item = itemOfRoot(root);
    item.fieldName = name;
    walkRoot(item, mode);
}

void VarsWriter::varStatement(const Entry& var)
{
    const auto& data = var.data<VarData>();
    if (!data.tree || var.descriptor->subScope == nullptr) {
        return;
    }
    locateWalk(var);
    const WalkMode mode = data.mode == CheckMode::Init       ? WalkMode::Init
                          : data.mode == CheckMode::Expected ? WalkMode::Expect
                                                             : WalkMode::Dump;
    if (mode == WalkMode::Expect) {
        line("trv_var_va ( ", kRun, ",", number(var), " );");
    } else if (mode == WalkMode::Dump) {
        line("trv_var ( ", kRun, ",", number(var), " );");
    }
    for (const Entry& value : var.descriptor->subScope->entries) {
        // The description starts at the variable itself.
        VarItem item = itemOfValueEntry(value);
        item.fieldName = var.name;
        if (item.formatCode < 0) {
            item.formatCode = data.formatCode;
        }
        walkRoot(item, mode);
    }
    if (mode == WalkMode::Expect) {
        checksEnd("trv_end_var_va ( ", endNumber(var));
    } else if (mode == WalkMode::Dump) {
        line("trv_var ( ", kRun, ",", endNumber(var), " );");
    }
}

namespace {

// The value path of an aggregate's members: built in step with the access
// path for a whole value, from the aggregate's own value at the top.
void stepMemberValue(PathStep& step, const VarItem& item, std::string_view value)
{
    if (!item.wholeValue) {
        return;
    }
    if (value.empty()) {
        step.pieces(item.value);
    } else {
        step.field(item.fieldName);
    }
}

}  // namespace

namespace {

bool isElementary(const script::ValueNode& node)
{
    return node.kind == script::ValueKind::Scalar || node.kind == script::ValueKind::Bounded;
}

bool isField(const Entry& entry)
{
    return entry.code == ENT_FIELD_VALUE || entry.code == ENT_UNION_VALUE;
}

}  // namespace

template <typename Visit>
void VarsWriter::forEachMember(const VarItem& item, const Visit& visit) const
{
    if (item.entry != nullptr) {
        const Scope* below = item.entry->descriptor->subScope;
        if (below == nullptr) {
            return;
        }
        for (const Entry& member : below->entries) {
            if (item.entry->code != ENT_AGGREGATE || !isField(member)) {
                visit(itemOfValueEntry(member));
                continue;
            }
            // A field's value is the entry below it.
            for (const Entry& value : member.descriptor->subScope->entries) {
                visit(itemOfValueEntry(value));
            }
        }
        return;
    }
    if (item.node == nullptr) {
        return;
    }
    const script::ValueNode& node = *item.node;
    if (node.kind != script::ValueKind::Array) {
        for (const script::ValueNode& member : node.children()) {
            visit(itemOfNode(member, item.tree));
        }
        return;
    }
    // An array's elements, one item per index range they designate: its own
    // for an explicit range, the gaps the explicit ones leave for OTHERS (as
    // written when the array's dimension is unknown).
    const KeptTreeNumbers& tree = item.tree;
    for (const script::ValueNode& range : node.children()) {
        const auto element = [&](long long lower, long long upper) {
            VarItem item;
            if (range.children().size() == 1 && isElementary(range.children().front())) {
                item = itemOfNode(range.children().front(), tree);
                item.fieldName = {};
            } else {
                item = itemOfNode(range, tree);
                item.kind = VarItem::Kind::IndexRange;
            }
            item.lowerIndex = lower;
            item.upperIndex = upper;
            visit(item);
        };
        if (!range.others || node.upperIndex < node.lowerIndex) {
            element(range.lowerIndex, range.upperIndex);
            continue;
        }
        for (const auto& [lower, upper] : script::freeIndexRanges(node)) {
            element(lower, upper);
        }
    }
}

void VarsWriter::walkRoot(const VarItem& root, WalkMode mode)
{
    walkFormats_ = walkFormats(root.fieldName, mode);
    walkPaths_.name.clear();
    walkPaths_.value.clear();
    walkItem(root, 0, mode);
}

void VarsWriter::walkMembers(const VarItem& item, int depth, WalkMode mode)
{
    forEachMember(item, [this, depth, mode](const VarItem& member) { walkItem(member, depth, mode); });
}

void VarsWriter::walkItem(const VarItem& item, int depth, WalkMode mode)
{
    switch (item.kind) {
    case VarItem::Kind::Array: walkArray(item, depth, mode); break;
    case VarItem::Kind::IndexRange: walkIndexRange(item, depth, mode); break;
    case VarItem::Kind::Structure: walkStructure(item, depth, mode); break;
    case VarItem::Kind::Union: walkUnion(item, depth, mode); break;
    case VarItem::Kind::Elementary:
    case VarItem::Kind::Bounded: walkElementary(item, depth, mode); break;
    }
}

void VarsWriter::walkArray(const VarItem& item, int depth, WalkMode mode)
{
    PathStep name(walkPaths_.name);
    PathStep value(walkPaths_.value);
    name.field(item.fieldName);
    name.pieces("[I", depth + 1, "]");
    stepMemberValue(value, item, walkPaths_.value);
    if (item.wholeValue) {
        value.pieces("[I", depth + 1, "]");
    }
    if (traces(mode)) {
        line("trv_vartab ( ", kRun, ",", item.numbers.begin, " );");
    }
    walkMembers(item, depth + 1, mode);
    if (traces(mode)) {
        line("trv_vartab ( ", kRun, ",", item.numbers.end, " );");
    }
}

void VarsWriter::walkIndexRange(const VarItem& item, int depth, WalkMode mode)
{
    if (traces(mode)) {
        line("trv_varplage ( ", kRun, ",", item.numbers.begin, ", ", item.lowerIndex, ", ", item.upperIndex, " );");
    }
    indexLoop(depth, item.lowerIndex, item.upperIndex);
    open();
    walkMembers(item, depth, mode);
    close();
    if (traces(mode)) {
        line("trv_varplage ( ", kRun, ",", item.numbers.end, ", -1, -1 );");
    }
}

void VarsWriter::walkStructure(const VarItem& item, int depth, WalkMode mode)
{
    if (traces(mode)) {
        line("trv_varstruct ( ", kRun, ",", item.numbers.begin, " );");
    }
    {
        PathStep name(walkPaths_.name);
        PathStep value(walkPaths_.value);
        name.field(item.fieldName);
        stepMemberValue(value, item, walkPaths_.value);
        walkMembers(item, depth, mode);
    }
    if (traces(mode)) {
        line("trv_varstruct ( ", kRun, ",", item.numbers.end, " );");
    }
}

void VarsWriter::walkUnion(const VarItem& item, int depth, WalkMode mode)
{
    PathStep name(walkPaths_.name);
    PathStep value(walkPaths_.value);
    name.field(item.fieldName);
    stepMemberValue(value, item, walkPaths_.value);
    if (mode == WalkMode::Init && item.wholeValue) {
        line("trv_assign_union ( ", kRun, ",", walkPaths_.name, ",", walkPaths_.value, " );");
        return;
    }
    if (traces(mode)) {
        line("trv_varstruct ( ", kRun, ",", item.numbers.begin, " );");
    }
    const std::string selector = unionSelector(walkPaths_.name);
    if (mode == WalkMode::Dump && !selector.empty()) {
        // Each alternative is dumped as the received message's selector says.
        line("switch (", selector, ")");
        open();
        std::size_t alternative = 0;
        forEachMember(item, [&](const VarItem& member) {
            line("case ", alternative++, ":");
            open();
            walkItem(member, depth, mode);
            line("break;");
            close();
        });
        close();
    } else if (mode == WalkMode::Compare && !selector.empty() && item.selected >= 0) {
        line("if (", selector, "==", item.selected, ")");
        open();
        walkMembers(item, depth, mode);
        close();
        emit(R"(
            else
             {
              trv_setflagrt ( &(trv_ctx->trv_ctxrun) );
             }
        )");
    } else {
        walkMembers(item, depth, mode);
    }
    if (traces(mode)) {
        line("trv_varstruct ( ", kRun, ",", item.numbers.end, " );");
    }
}

void VarsWriter::checksEnd(std::string_view call, int endNumber)
{
    emit(R"(
        trv_flagrt = $call$&(trv_ctx->trv_ctxrun),$end$ );
        if (trv_flagrt != 0)
         {
    )",
         {{"call", call}, {"end", endNumber}});
    debugResult("1");
    close();
}

void VarsWriter::locateWalk(const Entry& entry)
{
    walkFile_ = std::string(entry.fileName());
    walkLine_ = entry.line;
    walkScope_ = cScopeOf(entry);
}

const std::string& VarsWriter::cScopeOf(const Entry& entry)
{
    const Entry* block = scopeBlockOf(entry);
    if (block != scopeBlock_) {
        scopeBlock_ = block;
        scopeBlockScope_ = cScopeOfBlock(block);
    }
    return scopeBlockScope_;
}

const script::CTypeFacts& VarsWriter::typeOfWalked(std::string_view name)
{
    if (!currentMessageType_.empty() && name.starts_with(kReceived)) {
        return walkedTypes_.ofMemberPath(currentMessageType_, afterReceived(name));
    }
    return walkedTypes_.ofPath(name, walkScope_);
}

// "TRV_<type>.select" for the message itself, "TRV_<type>.<path>.select"
// below it; "" away from a received message.
std::string VarsWriter::unionSelector(std::string_view name) const
{
    if (currentMessageType_.empty() || !name.starts_with(kReceived)) {
        return {};
    }
    const std::string_view below = afterReceived(name);
    if (below.empty()) {
        return joinedPieces("TRV_", currentMessageType_, ".select");
    }
    return joinedPieces("TRV_", currentMessageType_, ".", below.substr(1), ".select");
}

void VarsWriter::walkElementary(const VarItem& item, int depth, WalkMode mode)
{
    if (item.kind == VarItem::Kind::Bounded &&
        (rangeFamily(item.cls).empty() || mode == WalkMode::Dump)) {
        diag::reportLocated(diag::Information, "RANGENOTA", rangedName(item), walkFile_, walkLine_);
        if (mode != WalkMode::Dump) {
            return;
        }
        // A dump shows the value without the range that it cannot judge.
        VarItem dumped = item;
        dumped.kind = VarItem::Kind::Elementary;
        walkElementary(dumped, depth, mode);
        return;
    }
    // A part of a whole value is checked against its place in that value.
    PathStep value(walkPaths_.value);
    const bool ownValue = !item.wholeValue || walkPaths_.value.empty();
    if (!ownValue) {
        value.field(item.fieldName);
    }
    const std::string_view checkValue = ownValue ? item.value : std::string_view(walkPaths_.value);
    const std::string& name = walkPaths_.name;
    if (!item.fieldName.empty()) {
        PathStep path(walkPaths_.name);
        path.field(item.fieldName);
        const auto write = [&](const VarItem& formatted) {
            if (item.kind == VarItem::Kind::Bounded) {
                boundedLine(formatted, name, depth, -1, mode);
            } else {
                checkLine(formatted, name, checkValue, depth, -1, mode);
            }
        };
        const int formatCode = formatCodeAt(item, name);
        if (formatCode == item.formatCode) {
            write(item);
        } else {
            VarItem formatted = item;
            formatted.formatCode = formatCode;
            write(formatted);
        }
        return;
    }
    // Elements of an array of scalars: one check per index.
    if (traces(mode)) {
        line("trv_varreset (", kRun, ");");
    }
    indexLoop(depth, item.lowerIndex, item.upperIndex);
    open();
    if (item.kind == VarItem::Kind::Bounded) {
        boundedLine(item, name, depth, item.upperIndex, mode);
    } else {
        checkLine(item, name, checkValue, depth, item.upperIndex, mode);
    }
    close();
}

// The variable or field that a range is given for, as the script names it.
std::string VarsWriter::rangedName(const VarItem& item) const
{
    if (item.fieldName.empty()) {
        return walkPaths_.name;
    }
    return joinedPieces(walkPaths_.name, ".", item.fieldName);
}

// A field of a variable may have a FORMAT of its own (not below an index).
int VarsWriter::formatCodeAt(const VarItem& item, std::string_view path) const
{
    if (item.formatCode >= 0 || walkFormats_ == nullptr || path.find('[') != std::string_view::npos) {
        return item.formatCode;
    }
    return fieldFormatCode(path);
}

// As script::formatOf(path) finds it, among the formats of the walk.
int VarsWriter::fieldFormatCode(std::string_view path) const
{
    std::string compact;
    if (std::ranges::any_of(path, base::isTextBlank)) {
        compact = base::withoutBlanks(path);
        path = compact;
    }
    for (const FieldFormat& format : *walkFormats_) {
        if (format.path == path) {
            return format.code;
        }
    }
    return -1;
}

void VarsWriter::readFieldFormats()
{
    for (const script::VariableFormat* format : script::globalFormats()) {
        FieldFormat field{format->variable, format->formatCode};
        std::string storage;
        formatsByName_[std::string(firstNameOf(format->variable, storage))].push_back(field);
        allFormats_.push_back(std::move(field));
    }
}

// The format codes matter to the checks and dumps that write a display base.
// A path matches a format's when both are the same without blanks, so both
// then have the same first name; every path of a walk begins with its
// root's name, which gives them their first name.
const VarsWriter::FieldFormats* VarsWriter::walkFormats(std::string_view rootName, WalkMode mode) const
{
    if (mode == WalkMode::Init || mode == WalkMode::Compare || allFormats_.empty()) {
        return nullptr;
    }
    if (rootName.empty()) {
        return &allFormats_;
    }
    std::string storage;
    const auto found = formatsByName_.find(firstNameOf(rootName, storage));
    return found != formatsByName_.end() ? &found->second : nullptr;
}

void VarsWriter::indexLoop(int depth, long long lower, long long upper)
{
    if (lower == upper) {
        line("I", depth, " = ", lower, ";");
        return;
    }
    line("for(I", depth, " = ", lower, "; I", depth, " <= ", upper, "; ++I", depth, ")");
}

void VarsWriter::checkLine(const VarItem& item, std::string_view name, std::string_view value, int depth,
                              long long bound, WalkMode mode)
{
    const CharData held = item.cls == kClassString || item.cls == kClassCharArray
                              ? charDataOf(typeOfWalked(name))
                              : CharData::Unknown;
    if (held == CharData::Bytes && item.cls == kClassString) {
        // A pointer to bytes is set and checked as a pointer, not as a string.
        VarItem pointer = item;
        pointer.cls = kClassPointer;
        checkLine(pointer, name, value, depth, bound, mode);
        return;
    }
    if (item.cls == kClassCharArray && mode != WalkMode::Init) {
        sizedLine(item, held == CharData::Bytes ? "bytes" : "chars", name, value, depth, bound, mode);
        return;
    }
    const std::string_view cast = runtimeCast(item.cls);
    if (mode == WalkMode::Init) {
        if (item.cls == kClassCharArray) {
            line("trv_strcpy(", held == CharData::Bytes ? "(TRV_PT_CAR) " : "", name, ",", value, ");");
        } else if (script::isNullPointerConstant(value) && (item.cls == kClassString || item.cls == kClassPointer)) {
            // A null pointer constant suits every pointer as it is; a cast
            // would give it a pointed-to type of its own.
            line(name, " = ", value, ";");
        } else if (item.cls == kClassString && holdsSignedOrUnsignedChar(typeOfWalked(name))) {
            // A string given to a signed char pointer: through a pointer to void.
            line(name, " = (TRV_PT_VOID) ", Operand{value}, ";");
        } else {
            line(name, " = ", cast, Operand{value}, ";");
        }
        return;
    }
    // NONIL expects any pointer but null: the non-null check.
    const int cls = mode == WalkMode::Expect && value == "NONIL" ? kClassNonNil : item.cls;
    if (const std::optional<ValueDisplay> display = valueDisplayOf(cls, item.formatCode, typeOfWalked(name))) {
        displayedCheckLine(item, *display, name, value, depth, bound, mode);
        return;
    }
    const CheckTexts& texts = checkTexts(checkCallOf(mode), cls, item.formatCode);
    const auto call = [&](const auto&... checked) {
        line(texts.head, item.numbers.begin, texts.opening, name, checked..., ", I", depth, ", ", bound, " );");
    };
    switch (mode) {
    case WalkMode::Expect: call(texts.cast, Operand{value}, texts.base); break;
    case WalkMode::Compare: call(texts.cast, "trv_msgref", afterReceived(name)); break;
    default: call(texts.base); break;
    }
}

void VarsWriter::displayedCheckLine(const VarItem& item, const ValueDisplay& display, std::string_view name,
                                       std::string_view value, int depth, long long bound, WalkMode mode)
{
    const auto call = [&](const auto&... checked) {
        const auto write = [&](const auto&... names) {
            line(display.head(checkCallOf(mode)), item.numbers.begin, ", ", display.cast, name, checked..., names...,
                 ", I", depth, ", ", bound, " );");
        };
        if (display.names) {
            write(", ", *display.names);
        } else {
            write();
        }
    };
    switch (mode) {
    case WalkMode::Expect:
        call(",", display.cast, Operand{value}, display.baseFor(item.formatCode));
        break;
    case WalkMode::Compare: call(",", display.cast, "trv_msgref", afterReceived(name)); break;
    default: call(display.baseFor(item.formatCode)); break;
    }
}

// An array of characters or bytes is read within its size, and so is an
// expected value that is an array or a string literal.
void VarsWriter::sizedLine(const VarItem& item, std::string_view family, std::string_view name,
                              std::string_view value, int depth, long long bound, WalkMode mode)
{
    const std::string_view cast = family == "bytes" ? "(TRV_PT_VOID) " : "(TRV_PT_CAR) ";
    const std::string_view prefix = mode == WalkMode::Expect    ? "var_"
                                    : mode == WalkMode::Compare ? "cmp_"
                                                                : "dmp_";
    std::string call = joinedPieces("trv_", prefix, family, "_c (", kRun, ",", item.numbers.begin, ", ", cast, name,
                                    ", sizeof(", name, ")");
    if (mode == WalkMode::Expect) {
        appendPieces(call, ",", cast, value, ", ", sizeOfValue(value, walkScope_));
    } else if (mode == WalkMode::Compare) {
        const std::string reference = joinedPieces("trv_msgref", afterReceived(name));
        appendPieces(call, ",", cast, reference, ", sizeof(", reference, ")");
    }
    line(call, ", I", depth, ", ", bound, " );");
}

void VarsWriter::boundedLine(const VarItem& item, std::string_view name, int depth, long long bound,
                                WalkMode mode)
{
    const std::string_view cast = runtimeCast(item.cls);
    if (mode == WalkMode::Init) {
        const auto assign = [&](std::string_view which, std::string_view limit) {
            if (limit.empty()) {
                return;
            }
            if (item.cls == kClassCharArray) {
                line("trv_strcpy(trv_", which, "_", name, ",", limit, ");");
            } else {
                line("trv_", which, "_", name, " = ", cast, Operand{limit}, ";");
            }
        };
        assign("Min", item.lower);
        assign("Max", item.upper);
        return;
    }
    // A range shows its bounds and the value as an equality check would.
    const std::optional<ValueDisplay> display = valueDisplayOf(item.cls, item.formatCode, typeOfWalked(name));
    const std::string_view checkedCast = display ? display->cast : cast;
    std::string call;
    const auto limit = [&](std::string_view given, std::string_view reference) {
        if (given.empty()) {
            appendPieces(call, "0,", checkedCast, "0");
        } else if (mode == WalkMode::Expect) {
            appendPieces(call, "1,", checkedCast, Operand{given});
        } else {
            appendPieces(call, "1,", checkedCast, reference, afterReceived(name));
        }
    };
    const std::string_view prefix = mode == WalkMode::Expect ? "trv_var_range_"
                                    : mode == WalkMode::Compare ? "trv_cmp_range_"
                                                                : "trv_dmp_range_";
    appendPieces(call, prefix, display ? display->family : rangeFamily(item.cls), "_c (", kRun, ",",
                 item.numbers.begin, ", ");
    if (mode != WalkMode::DumpReference) {
        appendPieces(call, checkedCast, name, ",");
    }
    limit(item.lower, "trv_msgMin");
    call += ',';
    limit(item.upper, "trv_msgMax");
    if (mode != WalkMode::Compare) {
        call += display ? display->baseFor(item.formatCode)
                        : baseOf(item.cls == kClassChar ? kClassInt : item.cls, item.formatCode);
    }
    if (display && display->names) {
        appendPieces(call, ", ", *display->names);
    }
    line(call, ", I", depth, ", ", bound, " );");
}

}  // namespace qvm::codegen::program
