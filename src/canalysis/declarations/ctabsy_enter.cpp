// Building type descriptors from declaration specifiers and declarators, and
// entering declarations in the symbol table.
#include "canalysis/preprocessor/cevalif.h"
#include "canalysis/declarations/cgloba.h"
#include "canalysis/ctypesizes.h"
#include "canalysis/declarations/ctylex.h"
#include "y2_tab.tab.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <set>
#include <unordered_map>

namespace qvm::canalysis {

namespace decl {

namespace {

Ident identOf(std::string_view text)
{
    return base::ident(text);
}

// The items of a working list, moved into a vector of their exact number;
// the list is left empty with the room it took, for the next declaration.
template <typename T>
std::vector<T> movedOut(std::vector<T>& list)
{
    std::vector<T> items(std::make_move_iterator(list.begin()), std::make_move_iterator(list.end()));
    list.clear();
    return items;
}

// The words of a basic or floating type's spelling.
struct BasicWords {
    int isUnsigned = 0;
    int isSigned = 0;
    int shorts = 0;
    int longs = 0;
    int chars = 0;
    int ints = 0;
    int floats = 0;
    int doubles = 0;
    int bools = 0;
    int int128s = 0;
    int complexes = 0;
    int floatNs = 0;  // _Float32, __float128 and the like
};

bool countWord(BasicWords& words, std::string_view word)
{
    if (word == "unsigned") {
        ++words.isUnsigned;
    } else if (word == "signed") {
        ++words.isSigned;
    } else if (word == "short") {
        ++words.shorts;
    } else if (word == "long") {
        ++words.longs;
    } else if (word == "char") {
        ++words.chars;
    } else if (word == "int") {
        ++words.ints;
    } else if (word == "float") {
        ++words.floats;
    } else if (word == "double") {
        ++words.doubles;
    } else if (word == "_Bool") {
        ++words.bools;
    } else if (word == "__int128") {
        ++words.int128s;
    } else if (word == "_Complex") {
        ++words.complexes;
    } else if (word.starts_with("_Float") || word == "__float80" || word == "__float128") {
        ++words.floatNs;
    } else {
        return false;
    }
    return true;
}

BasicWords wordsOf(std::string_view spelling)
{
    BasicWords words;
    std::size_t start = 0;
    while (start < spelling.size()) {
        std::size_t end = spelling.find(' ', start);
        if (end == std::string_view::npos) {
            end = spelling.size();
        }
        countWord(words, spelling.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

bool floating(const BasicWords& w)
{
    return w.floats + w.doubles + w.floatNs + w.complexes > 0;
}

// The words of today's C: _Bool stands alone, __int128 takes a sign only,
// _Complex goes with one floating type.
bool conflictingModern(const BasicWords& w)
{
    const int integerWords = w.isUnsigned + w.isSigned + w.shorts + w.longs + w.chars + w.ints;
    if (w.bools != 0 && (w.bools > 1 || integerWords + w.int128s + floating(w) > 0)) {
        return true;
    }
    if (w.int128s != 0 && (w.int128s > 1 || w.shorts + w.longs + w.chars + w.ints > 0 || floating(w))) {
        return true;
    }
    return w.complexes > 1 || w.floatNs > 1 || (w.floatNs != 0 && w.floats + w.doubles + w.longs > 0);
}

bool conflicting(const BasicWords& w)
{
    return (w.isUnsigned && w.isSigned) || (w.shorts && w.longs) || w.isUnsigned > 1 || w.isSigned > 1 ||
           w.shorts > 1 || w.longs > 2 || w.chars > 1 || w.ints > 1 || (w.chars && w.ints) ||
           w.floats + w.doubles > 1 || conflictingModern(w);
}

// Sizes of the integer types that no size pragma changes.
constexpr int kInt128Bits = 128;

// Descriptors of basic, floating and void types, one per spelling, shared by
// every declaration that writes it: an interface writes `int` tens of
// thousands of times. The only change ever made to such a descriptor is a
// size pragma on a typedef name, and a typedef declaration takes a copy of
// its own first (see ownBasicType).
struct SharedBasic {
    TypePtr type;
    // The type sizes it was made with: a descriptor made before a size
    // pragma keeps the size it had for the declarations that use it.
    std::array<int, 6> sizes{};
};

struct SharedBasics {
    std::unordered_map<Ident, SharedBasic> bySpelling;
    std::uint64_t generation = 0;  // of the identifier table the keys belong to
};

SharedBasics& sharedBasicsStore()
{
    static SharedBasics shared;
    return shared;
}

// Dropped when the identifier table was reset: the keys named other texts.
[[gnu::noinline]] void renewSharedBasics(SharedBasics& shared)
{
    shared = SharedBasics{};
    shared.generation = base::identGeneration();
}

inline SharedBasics& sharedBasics()
{
    SharedBasics& shared = sharedBasicsStore();
    if (shared.generation != base::identGeneration()) {
        renewSharedBasics(shared);
    }
    return shared;
}

std::array<int, 6> sizesNow()
{
    const TypeSizes& sizes = typeSizes();
    return {sizes.charBits, sizes.shortBits, sizes.intBits, sizes.longBits, sizes.longLongBits, sizes.charUnsigned};
}

// The descriptor shared for a spelling under today's type sizes, or none.
inline const TypePtr* findShared(Ident spelling)
{
    const auto& bySpelling = sharedBasics().bySpelling;
    const auto found = bySpelling.find(spelling);
    return found != bySpelling.end() && found->second.sizes == sizesNow() ? &found->second.type : nullptr;
}

TypePtr share(Ident spelling, TypeKind kind, CType part)
{
    SharedBasic& shared = sharedBasics().bySpelling[spelling];
    shared = {C_CPP_new_type(kind, std::move(part)), sizesNow()};
    return shared.type;
}

bool isSharedBasic(const TypePtr& type)
{
    const auto& bySpelling = sharedBasics().bySpelling;
    const auto found = bySpelling.find(type->name);
    return found != bySpelling.end() && found->second.type == type;
}

// name: the identifier of the spelling the words were counted from.
TypePtr basicOf(Ident name, const BasicWords& w)
{
    if (const TypePtr* shared = findShared(name)) {
        return *shared;
    }
    const TypeSizes& sizes = typeSizes();
    CType part;
    part.name = name;
    if (floating(w)) {
        return share(name, kFloating, std::move(part));
    }
    int bits = sizes.intBits;
    if (w.longs == 2) {
        bits = sizes.longLongBits;
    } else if (w.longs == 1) {
        bits = sizes.longBits;
    } else if (w.shorts) {
        bits = sizes.shortBits;
    } else if (w.chars || w.bools) {
        bits = sizes.charBits;
    } else if (w.int128s) {
        bits = kInt128Bits;
    }
    bool isUnsigned = w.isUnsigned > 0 || w.bools > 0;
    if (!w.isUnsigned && !w.isSigned && w.chars) {
        isUnsigned = sizes.charUnsigned;
    }
    part.size = isUnsigned ? bits : -bits;
    part.isChar = w.chars > 0;
    return share(name, kBasic, std::move(part));
}

// A floating type written in more than one word: long double, or _Complex
// with one floating type.
bool floatingCombination(const BasicWords& w)
{
    if (w.isUnsigned || w.isSigned || w.shorts || w.chars || w.ints) {
        return false;
    }
    const bool longDouble = w.doubles == 1 && w.longs == 1 && w.floats + w.floatNs == 0;
    const bool single = w.longs == 0 && w.floats + w.doubles + w.floatNs == 1;
    return w.complexes == 1 ? longDouble || single : longDouble;
}

void constructWarning(DeclSpecs& specs, std::string_view newSpelling)
{
    report(CWarning, "CONSTRUCT", std::string(specs.spelling) + " " + std::string(newSpelling), currentLexContext()->fileName,
           currentLexContext()->line);
    specs.failed = true;
    specs.type.reset();
}

// A value text as an operand of a larger expression: one word or number
// stands as it is, anything longer is put in parentheses, so that `1 << 2`
// followed by "+1" still means five.
std::string asOperand(std::string_view value)
{
    std::size_t i = value.empty() || value.front() != '-' ? 0 : 1;
    const bool oneWord = i < value.size() && std::all_of(value.begin() + static_cast<std::ptrdiff_t>(i), value.end(),
                                                         [](char c) { return isIdentChar(c) || c == '.'; });
    return oneWord ? std::string(value) : "(" + std::string(value) + ")";
}

}  // namespace

void addStorage(DeclSpecs& specs, unsigned storage)
{
    specs.storage |= storage;
}

void addQualifier(DeclSpecs& specs, Ident qualifier)
{
    specs.qualifiers.push_back(qualifier);
}

void forgetSharedBasics()
{
    sharedBasics().bySpelling.clear();
}

TypePtr basicWord(Ident word)
{
    if (const TypePtr* shared = findShared(word)) {
        return *shared;
    }
    const std::string_view text = word;
    if (text == "void") {
        return share(word, kVoid, CType{});
    }
    BasicWords words;
    countWord(words, text);
    return basicOf(word, words);
}

namespace {

// A type specifier after the first: basic words make one basic type
// together ("unsigned long"), anything else makes no type.
void combineType(DeclSpecs& specs, const CType* added, std::string_view addedSpelling)
{
    const CType* collected = specs.type.get();
    const bool bothBasic = collected != nullptr && added != nullptr &&
                           (collected->kind == kBasic || collected->kind == kFloating) &&
                           (added->kind == kBasic || added->kind == kFloating);
    if (!bothBasic) {
        constructWarning(specs, addedSpelling);
        return;
    }
    std::string spelling(specs.spelling);
    spelling.append(" ").append(addedSpelling);
    const BasicWords words = wordsOf(spelling);
    if (conflicting(words) || (floating(words) && !floatingCombination(words))) {
        constructWarning(specs, addedSpelling);
        return;
    }
    const Ident combined = identOf(spelling);
    specs.type = basicOf(combined, words);
    specs.spelling = combined;
}

}  // namespace

void addType(DeclSpecs& specs, const TypeSpecifier& specifier)
{
    if (specs.failed) {
        return;
    }
    if (!specs.hasType) {
        specs.type = specifier.type;
        specs.spelling = specifier.spelling;
        specs.hasType = true;
        return;
    }
    combineType(specs, specifier.type.get(), specifier.spelling);
}

void addBasicWord(DeclSpecs& specs, Ident word)
{
    TypePtr type = basicWord(word);
    if (specs.failed) {
        return;
    }
    if (!specs.hasType) {
        specs.type = std::move(type);
        specs.spelling = word;
        specs.hasType = true;
        return;
    }
    combineType(specs, type.get(), word);
}

TypePtr typedefNameType(DeclParse& parse, Ident name)
{
    const Symbol* symbol = parse.table->find(name, parse.scope);
    CType part;
    part.name = name;
    part.target = symbol != nullptr ? symbol->type : nullptr;
    return C_CPP_new_type(kTypedefName, std::move(part));
}

// The struct or union type of a tag (an unnamed one gets a fresh name). The
// tag record of the scope is made when missing; a body defines it, and a
// second body warns REDEFSTRU and retires the first for its earlier users.
TypePtr aggregateType(DeclParse& parse, TypeKind kind, Ident tag, FieldList* body)
{
    const Ident file = parse.lex->fileIdent();
    if (tag == nullptr) {
        tag = parse.nextUnnamedTag();
    }
    Tag* record = parse.table->findTag(tag, kind, parse.scope);
    if (record != nullptr && body != nullptr && record->scope != parse.scope) {
        record = nullptr;  // a body in another scope defines a tag of its own
    }
    if (record == nullptr) {
        Tag fresh;
        fresh.name = tag;
        fresh.kind = kind;
        fresh.scope = parse.scope;
        fresh.file = file;
        fresh.aggregate = std::make_shared<Aggregate>();
        fresh.aggregate->tag = tag;
        record = &parse.table->appendTag(std::move(fresh));
    }
    if (body != nullptr) {
        if (record->aggregate->hasBody) {
            report(CWarning, "REDEFSTRU", base::identText(tag), parse.lex->fileName, parse.lex->line);
            record->retired.push_back(record->aggregate);
            record->aggregate = std::make_shared<Aggregate>();
            record->aggregate->tag = tag;
        }
        parse.table->giveBody(*record, movedOut(body->fields));
    }
    CType part;
    part.name = tag;
    part.aggregate = record->aggregate.get();
    return C_CPP_new_type(kind, std::move(part));
}

// The enum type of a tag, found or made like a struct tag. A body gives each
// enumerator the text of its value: the one written, else the last written
// value plus the count since, else its position; each is also entered in the
// run's enumeration constants.
TypePtr enumType(DeclParse& parse, Ident tag, const EnumeratorList* body)
{
    if (tag == nullptr) {
        tag = parse.nextUnnamedTag();
    }
    Tag* record = parse.table->findTag(tag, kEnum, parse.scope);
    if (record != nullptr && body != nullptr && record->scope != parse.scope) {
        record = nullptr;
    }
    if (record == nullptr) {
        Tag fresh;
        fresh.name = tag;
        fresh.kind = kEnum;
        fresh.scope = parse.scope;
        fresh.file = parse.lex->fileIdent();
        fresh.enumeration = std::make_shared<EnumBody>();
        fresh.enumeration->tag = tag;
        record = &parse.table->appendTag(std::move(fresh));
    }
    if (body != nullptr) {
        if (record->enumeration->hasBody) {
            report(CWarning, "REDEFSTRU", base::identText(tag), parse.lex->fileName, parse.lex->line);
            record->retired.push_back(record->enumeration);
            record->enumeration = std::make_shared<EnumBody>();
            record->enumeration->tag = tag;
        }
        std::vector<Enumerator> enumerators;
        enumerators.reserve(body->items.size());
        std::string_view lastValue;  // the last value written, empty before the first
        int sinceLast = 0;
        int position = 0;
        for (const auto& [name, value] : body->items) {
            Ident valueText = nullptr;
            if (value != nullptr) {
                lastValue = value;
                sinceLast = 0;
                valueText = base::ident(lastValue);
            } else if (!lastValue.empty()) {
                std::string text = asOperand(lastValue);
                text += '+';
                text += std::to_string(++sinceLast);
                valueText = base::ident(text);
            } else {
                valueText = base::ident(std::to_string(position));
            }
            ++position;
            enumerators.push_back({name, valueText});
            addEnumerationConstant(name, valueText);
        }
        record->enumeration->enumerators = std::move(enumerators);
        record->enumeration->hasBody = true;
    }
    CType part;
    part.name = tag;
    part.enumeration = record->enumeration.get();
    return C_CPP_new_type(kEnum, std::move(part));
}

TypePtr baseType(const DeclSpecs& specs)
{
    TypePtr type = specs.failed ? nullptr : specs.type;
    // The first qualifier written ends up outermost.
    for (auto it = specs.qualifiers.rbegin(); it != specs.qualifiers.rend(); ++it) {
        CType part;
        part.name = *it;
        part.target = type;
        type = C_CPP_new_type(kQualified, std::move(part));
    }
    return type;
}

TypePtr applyDeclarator(TypePtr base, const Declarator& declarator)
{
    TypePtr type = std::move(base);
    for (const DeclaratorOp& op : declarator.ops) {
        CType part;
        part.target = std::move(type);
        switch (op.kind) {
        case DeclaratorOp::Pointer:
            type = C_CPP_new_type(kPointer, std::move(part));
            for (const Ident qualifier : op.qualifiers) {
                CType qualified;
                qualified.name = qualifier;
                qualified.target = std::move(type);
                type = C_CPP_new_type(kQualified, std::move(qualified));
            }
            break;
        case DeclaratorOp::Array:
            part.dimension = op.dimension;
            type = C_CPP_new_type(kArray, std::move(part));
            break;
        case DeclaratorOp::Function:
            part.parameters = op.parameters;
            part.prototype = op.prototype;
            type = C_CPP_new_type(kFunction, std::move(part));
            break;
        }
    }
    return type;
}

void prependOps(Declarator& declarator, Declarator& pointer)
{
    declarator.ops.insert(declarator.ops.begin(), std::make_move_iterator(pointer.ops.begin()),
                          std::make_move_iterator(pointer.ops.end()));
}

void functionOp(Declarator& declarator, ParameterList* list, bool prototype)
{
    DeclaratorOp op;
    op.kind = DeclaratorOp::Function;
    op.prototype = prototype;
    if (list != nullptr) {
        op.parameters = movedOut(list->parameters);
        for (const Ident name : list->names) {
            op.parameters.push_back({name, nullptr});
        }
        op.identifierList = !list->names.empty();
    }
    declarator.ops.insert(declarator.ops.begin(), std::move(op));
}

Parameter parameterOf(const DeclSpecs& specs, const Declarator* declarator)
{
    Parameter parameter;
    TypePtr base = baseType(specs);
    if (!base && !specs.failed && specs.qualifiers.empty() && !specs.hasType) {
        base = nullptr;
    }
    if (declarator != nullptr) {
        parameter.name = declarator->name;
        parameter.type = applyDeclarator(base, *declarator);
    } else {
        parameter.type = base;
    }
    if (!parameter.type) {
        parameter.type = basicWord(identOf("int"));
    }
    return parameter;
}

TypeSpecifier* typeNameSpecifier(DeclParse& parse, const DeclSpecs& specs, const Declarator* abstract)
{
    TypeSpecifier* specifier = parse.arena.make<TypeSpecifier>();
    specifier->type = parameterOf(specs, abstract).type;
    specifier->spellAs(C_CPP_type_image(specifier->type.get()));
    return specifier;
}

void addFields(FieldList& list, const DeclSpecs& specs, const DeclaratorList* declarators)
{
    const TypePtr base = baseType(specs);
    if (declarators == nullptr) {
        list.fields.push_back({nullptr, base, nullptr, nullptr});
        return;
    }
    for (const Declarator* declarator : declarators->items) {
        list.fields.push_back({declarator->name, applyDeclarator(base, *declarator), declarator->width,
                               declarator->init});
    }
}

void addEnumerator(EnumeratorList& list, EnumeratorItem item)
{
    if (item.name != nullptr) {
        list.items.emplace_back(item.name, item.value);
    }
}

namespace {

bool isFunction(const TypePtr& type)
{
    return type && type->kind == kFunction;
}

bool isVoidList(const std::vector<Parameter>& parameters)
{
    return parameters.size() == 1 && parameters[0].type && parameters[0].type->kind == kVoid &&
           parameters[0].name == nullptr;
}

// Joins a later function type into an earlier one.
void mergeFunctions(CType& earlier, const CType& later, Ident name, DeclParse& parse)
{
    const bool earlierMissing = earlier.parameters.empty() && !earlier.prototype;
    const bool laterMissing = later.parameters.empty() && !later.prototype;
    if (!earlierMissing && !laterMissing && earlier.parameters.size() != later.parameters.size()) {
        const bool voidMatch = (earlier.parameters.empty() && isVoidList(later.parameters)) ||
                               (later.parameters.empty() && isVoidList(earlier.parameters));
        if (!voidMatch) {
            report(CWarning, "REDEFSYMB", base::identText(name), parse.lex->fileName, parse.lex->line);
        }
    }
    if (earlierMissing && !laterMissing) {
        earlier.parameters = later.parameters;
    } else if (earlier.parameters.size() == later.parameters.size()) {
        for (std::size_t i = 0; i < earlier.parameters.size(); ++i) {
            if (earlier.parameters[i].name == nullptr) {
                earlier.parameters[i].name = later.parameters[i].name;
            }
            if (!earlier.parameters[i].type) {
                earlier.parameters[i].type = later.parameters[i].type;
            }
        }
    }
    if (!earlier.target) {
        earlier.target = later.target;
    }
    earlier.prototype = earlier.prototype || later.prototype;
    earlier.definition = earlier.definition || later.definition;
}

void merge(Symbol& earlier, const Symbol& later, DeclParse& parse)
{
    if (isFunction(earlier.type) && isFunction(later.type)) {
        // The record's descriptor may be shared with other declarations.
        earlier.type = std::make_shared<CType>(*earlier.type);
        mergeFunctions(*earlier.type, *later.type, earlier.name, parse);
    } else if (!earlier.type) {
        earlier.type = later.type;
    }
    if (earlier.init == nullptr) {
        earlier.init = later.init;
    }
}

// "typedef struct s s": a typedef name standing for a type of its own name.
bool standsForOwnName(const Symbol& symbol)
{
    const CType* type = symbol.type.get();
    return (symbol.storage & kTypedef) != 0 && type != nullptr &&
           (type->kind == kStruct || type->kind == kUnion || type->kind == kEnum || type->kind == kTypedefName) &&
           type->name == symbol.name;
}

// "typedef int (*fp)(int);" written again as it was: C11 allows it.
bool repeatsTypedef(const Symbol& earlier, const Symbol& later)
{
    return (earlier.storage & kTypedef) != 0 && (later.storage & kTypedef) != 0 &&
           C_CPP_type_image(earlier.type.get()) == C_CPP_type_image(later.type.get());
}

constexpr unsigned kStorageClasses = kExtern | kStatic | kAuto | kRegister;

// Enters a declared symbol in the parse's scope. A name declared there
// already is merged with its earlier record following both storage classes
// (extern, static, a plain redeclaration); an incompatible redefinition warns
// REDEFSYMB and the later declaration wins.
void enter(DeclParse& parse, Symbol symbol)
{
    Symbol* earlier = parse.table->findInScope(symbol.name, parse.scope);
    if (parse.table->declarationWatch) {
        parse.table->declarationWatch(symbol, earlier, parse.lex->constructLine);
    }
    if (earlier == nullptr) {
        parse.table->append(std::move(symbol));
        return;
    }
    const unsigned before = earlier->storage & kStorageClasses;
    const unsigned now = symbol.storage & kStorageClasses;
    if (before & kExtern) {
        if (now & kExtern) {
            merge(*earlier, symbol, parse);
        } else if (now == 0) {
            TypePtr previous = earlier->type;
            earlier->type = symbol.type;
            if (isFunction(previous) && isFunction(symbol.type)) {
                earlier->type = std::make_shared<CType>(*previous);
                mergeFunctions(*earlier->type, *symbol.type, earlier->name, parse);
            }
            earlier->storage &= ~kExtern;
            earlier->storage |= symbol.storage;
            if (symbol.init != nullptr) {
                earlier->init = symbol.init;
            }
        } else if ((now & kStatic) && isFunction(symbol.type)) {
            merge(*earlier, symbol, parse);
            earlier->storage = (earlier->storage & ~kExtern) | kStatic;
        } else {
            merge(*earlier, symbol, parse);
        }
        return;
    }
    if (before & kStatic) {
        if (earlier->file == symbol.file) {
            merge(*earlier, symbol, parse);
        } else {
            parse.table->append(std::move(symbol));
        }
        return;
    }
    if (now & kExtern) {
        merge(*earlier, symbol, parse);
        return;
    }
    if (standsForOwnName(*earlier)) {
        earlier->type = symbol.type;
        earlier->storage = symbol.storage;
        return;
    }
    if (isFunction(symbol.type)) {
        if (isFunction(earlier->type)) {
            merge(*earlier, symbol, parse);
        } else {
            earlier->type = symbol.type;
        }
        earlier->storage |= symbol.storage;
        return;
    }
    if (repeatsTypedef(*earlier, symbol)) {
        return;
    }
    report(CWarning, "REDEFSYMB", base::identText(symbol.name), parse.lex->fileName, parse.lex->line);
    earlier->type = symbol.type;
    earlier->storage = symbol.storage;
    if (symbol.init != nullptr) {
        earlier->init = symbol.init;
    }
}

Symbol symbolOf(DeclParse& parse, const DeclSpecs* specs, const Declarator& declarator)
{
    Symbol symbol;
    symbol.name = declarator.name;
    symbol.type = applyDeclarator(specs != nullptr ? baseType(*specs) : nullptr, declarator);
    symbol.scope = parse.scope;
    symbol.storage = specs != nullptr ? specs->storage : 0;
    symbol.init = declarator.init;
    symbol.file = parse.lex->fileIdent();
    return symbol;
}

// A size pragma on a typedef name rewrites the basic type behind it, and with
// it the types of every declarator of the typedef declaration, but no other
// use of the spelling: the declaration gets a descriptor of its own.
void ownBasicType(DeclSpecs& specs)
{
    if ((specs.storage & kTypedef) != 0 && specs.type && specs.type->kind == kBasic && isSharedBasic(specs.type)) {
        specs.type = C_CPP_new_type(kBasic, *specs.type);
    }
}

}  // namespace

void enterDeclarations(DeclParse& parse, DeclSpecs* specs, const DeclaratorList& declarators)
{
    if (specs != nullptr) {
        ownBasicType(*specs);
    }
    for (const Declarator* declarator : declarators.items) {
        if (declarator->name != nullptr) {
            enter(parse, symbolOf(parse, specs, *declarator));
        }
    }
}

bool acceptsOldStyleParameters(const Declarator& declarator)
{
    return declarator.name != nullptr && !declarator.ops.empty() &&
           declarator.ops.back().kind == DeclaratorOp::Function && declarator.ops.back().identifierList;
}

void enterMissingSemicolon(DeclParse& parse, DeclSpecs* specs, Declarator& declarator)
{
    DeclaratorList declarators;
    declarators.items.push_back(&declarator);
    enterDeclarations(parse, specs, declarators);
}

void enterFaultyTypedef(DeclParse& parse, const DeclSpecs& specs, int errorToken, Ident errorName)
{
    Ident name = parse.declaratorName;
    parse.declaratorName = nullptr;
    if (errorToken == DTOK_IDENTIFIER && name != nullptr && parse.lex->parenDepth == 0) {
        name = errorName;
    }
    if ((specs.storage & kTypedef) == 0 || name == nullptr || parse.table->findInScope(name, parse.scope) != nullptr) {
        return;
    }
    Symbol symbol;
    symbol.name = name;
    symbol.scope = parse.scope;
    symbol.storage = kTypedef;
    symbol.file = parse.lex->fileIdent();
    parse.table->append(std::move(symbol));
}

void resynchronised(DeclParse& parse, Resync where)
{
    LexContext& lex = *parse.lex;
    lex.recovering = false;
    lex.parenDepth = 0;
    switch (where) {
    case Resync::AfterDeclaration:
        // Nothing read yet belongs to the next declaration: a typedef name
        // that begins it is a type again.
        lex.braceDepth = 0;
        lex.atConstructStart = true;
        lex.typeSeen = false;
        lex.tagPending = false;
        lex.tagExpected = false;
        break;
    case Resync::AtNextDeclaration:
        // The token already read begins the next declaration.
        lex.braceDepth = 0;
        lex.atConstructStart = lex.lookahead == 0 || lex.lookahead == ';';
        lex.constructLine = lex.tokenLine;
        break;
    case Resync::InsideBody:
        break;
    }
}

int retokenAtDeclarationStart(DeclParse& parse, int token, Ident name)
{
    if (token != DTOK_IDENTIFIER || name == nullptr) {
        return token;
    }
    const Symbol* symbol = parse.table->find(name, parse.scope);
    return symbol != nullptr && (symbol->storage & kTypedef) != 0 ? DTOK_TYPE_NAME : token;
}

bool insideParenthesesThatGoOn(const LexContext& lex, std::size_t from)
{
    int depth = lex.parenDepth;
    int braces = 0;
    const std::string_view text = lex.text;
    for (std::size_t p = from; depth > 0 && p < text.size(); ++p) {
        const char c = text[p];
        if (c == '"' || c == '\'') {
            for (++p; p < text.size() && text[p] != c; ++p) {
                p += text[p] == '\\' ? 1 : 0;
            }
        } else if (c == '{') {
            ++braces;
        } else if (c == '}') {
            if (braces-- == 0) {
                return false;
            }
        } else if (braces > 0) {
            continue;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if (c == ';') {
            return false;
        }
    }
    return depth == 0 && lex.parenDepth > 0;
}

bool bodyFollows(const LexContext& lex)
{
    const std::size_t next = lex.text.find_first_not_of(" \t\r\n\v\f", lex.pos);
    return next != std::string_view::npos && lex.text[next] == '{';
}

bool beginsDeclaration(int token)
{
    switch (token) {
    case DTOK_TYPEDEF: case DTOK_EXTERN: case DTOK_STATIC: case DTOK_AUTO: case DTOK_REGISTER:
    case DTOK_CONST: case DTOK_VOLATILE: case DTOK_INLINE: case DTOK_TYPE_MODIFIER:
    case DTOK_CHAR: case DTOK_SHORT: case DTOK_INT: case DTOK_LONG: case DTOK_FLOAT: case DTOK_DOUBLE:
    case DTOK_VOID: case DTOK_SIGNED: case DTOK_UNSIGNED: case DTOK_TYPE_NAME:
    case DTOK_MODERN_BASIC: case DTOK_ATOMIC_OPEN:
    case DTOK_STRUCT: case DTOK_UNION: case DTOK_ENUM:
        return true;
    default:
        return false;
    }
}

// Enters a function definition. Old-style parameter declarations give the
// types of the identifier list (FUNCT_DEF warns of duplicates or extras);
// names left without a declaration are int.
void enterFunctionDefinition(DeclParse& parse, const DeclSpecs* specs, Declarator& declarator,
                             const OldStyleDecls* oldStyle)
{
    // The name's own type is the last operation applied: it must be a function.
    if (declarator.name == nullptr || declarator.ops.empty() || declarator.ops.back().kind != DeclaratorOp::Function) {
        return;
    }
    DeclaratorOp* function = &declarator.ops.back();
    if (oldStyle != nullptr) {
        std::set<Ident> declared;
        std::size_t count = 0;
        bool faulty = false;
        for (const auto& [paramSpecs, list] : oldStyle->decls) {
            for (const Declarator* parameterDeclarator : list->items) {
                ++count;
                if (!declared.insert(parameterDeclarator->name).second) {
                    faulty = true;
                }
                for (Parameter& parameter : function->parameters) {
                    if (parameter.name == parameterDeclarator->name && !parameter.type) {
                        parameter.type = applyDeclarator(baseType(*paramSpecs), *parameterDeclarator);
                    }
                }
            }
        }
        if (faulty || count > function->parameters.size()) {
            report(CWarning, "FUNCT_DEF", base::identText(declarator.name), parse.lex->fileName, parse.lex->line);
        }
    }
    // A name of the identifier list declared by no parameter declaration is an int.
    for (Parameter& parameter : function->parameters) {
        if (!parameter.type) {
            parameter.type = basicWord(identOf("int"));
        }
    }
    Symbol symbol = symbolOf(parse, specs, declarator);
    if (symbol.type && symbol.type->kind == kFunction) {
        symbol.type->definition = true;
    }
    enter(parse, std::move(symbol));
}

namespace {

bool isTypeWord(DeclParse& parse, std::string_view word)
{
    static const std::array<std::string_view, 13> words = {"char",  "short",    "int",    "long",   "float",
                                                          "double", "void",    "signed", "unsigned", "const",
                                                          "volatile", "struct", "union"};
    if (std::find(words.begin(), words.end(), word) != words.end()) {
        return true;
    }
    const Symbol* symbol = parse.table->find(base::ident(word), parse.scope);
    return symbol != nullptr && (symbol->storage & kTypedef) != 0;
}

// Blanks a parenthesised list of type words (a cast) starting at open.
bool blankCast(DeclParse& parse, std::string& text, std::size_t open)
{
    const std::size_t close = text.find(')', open);
    if (close == std::string::npos) {
        return false;
    }
    const std::string_view inner(text.data() + open + 1, close - open - 1);
    bool sawWord = false;
    std::size_t i = 0;
    while (i < inner.size()) {
        if (inner[i] == ' ' || inner[i] == '*') {
            ++i;
            continue;
        }
        if (!isIdentChar(inner[i])) {
            return false;
        }
        const std::size_t start = i;
        while (i < inner.size() && isIdentChar(inner[i])) {
            ++i;
        }
        if (!isTypeWord(parse, inner.substr(start, i - start))) {
            return false;
        }
        sawWord = true;
    }
    if (!sawWord) {
        return false;
    }
    std::fill(text.begin() + static_cast<std::ptrdiff_t>(open), text.begin() + static_cast<std::ptrdiff_t>(close) + 1,
              ' ');
    return true;
}

// Skips the operand of sizeof: a parenthesised text or one word.
std::size_t skipSizeofOperand(const std::string& text, std::size_t i)
{
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    if (i < text.size() && text[i] == '(') {
        int depth = 0;
        for (; i < text.size(); ++i) {
            if (text[i] == '(') {
                ++depth;
            } else if (text[i] == ')' && --depth == 0) {
                return i + 1;
            }
        }
        return i;
    }
    while (i < text.size() && isIdentChar(text[i])) {
        ++i;
    }
    return i;
}

// How many characters enumerator values may add to a dimension text.
constexpr std::size_t kDimensionGrowthRoom = 60000;
// How many enumerators one dimension text may replace: values that name
// each other in a ring would otherwise be replaced for ever.
constexpr int kDimensionReplacements = 4096;
// A rewritten dimension at least this long is replaced by its value when
// that value is positive, so that declaration images stay readable.
constexpr std::size_t kDimensionValueLength = 59990;

}  // namespace

// The dimension text as declarations show it: control characters blanked,
// casts blanked, integer suffixes dropped and enumerators replaced by their
// values (within kDimensionGrowthRoom); sizeof and alignof operands are kept.
Ident rewriteDimension(DeclParse& parse, Ident written)
{
    const std::string_view dimension = base::identOrEmpty(written);
    const std::size_t limit = dimension.size() + kDimensionGrowthRoom;
    int replacements = 0;
    std::string text(dimension);
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 32 || c == 127) {
            c = ' ';
        }
    }
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '(') {
            blankCast(parse, text, i);
            ++i;
            continue;
        }
        if (base::isDigit(c) && (i == 0 || !isIdentChar(text[i - 1]))) {
            std::size_t end = i;
            while (end < text.size() && (isIdentChar(text[end]) || text[end] == '.')) {
                ++end;
            }
            std::size_t suffix = end;
            while (suffix > i + 1 && std::string_view("uUlL").find(text[suffix - 1]) != std::string_view::npos) {
                --suffix;
            }
            const bool hexadecimal = end > i + 1 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X');
            if (!hexadecimal || suffix > i + 2) {
                text.erase(suffix, end - suffix);
                end = suffix;
            }
            i = end;
            continue;
        }
        if (isIdentChar(c)) {
            std::size_t end = i;
            while (end < text.size() && isIdentChar(text[end])) {
                ++end;
            }
            const std::string_view word(text.data() + i, end - i);
            std::string_view canonical;
            if (word == "sizeof" || modernWord(word, canonical) == ModernWord::Alignof) {
                i = skipSizeofOperand(text, end);
                continue;
            }
            const EnumerationConstant* constant = findEnumerationConstant(base::ident(word));
            const std::string value = constant != nullptr ? asOperand(constant->value) : std::string();
            if (constant != nullptr && text.size() - (end - i) + value.size() <= limit &&
                replacements++ < kDimensionReplacements) {
                // The value is scanned again: it may name further enumerators.
                text.replace(i, end - i, value);
                continue;
            }
            i = end;
            continue;
        }
        ++i;
    }
    if (text.size() >= kDimensionValueLength) {
        const int value = C_CPP_eval_if(text.c_str());
        if (value > 0) {
            return base::ident(std::to_string(value));
        }
    }
    // Most dimensions are left as they are written.
    return text == dimension ? written : base::ident(text);
}

namespace {

// A type name of basic type words only ("int", "unsigned long"), read the
// way the declaration grammar reads it: the words of a cast or sizeof in a
// script expression are mostly these, and they need no probe declaration.
// None for any other text, and for words that do not make a type together.
TypePtr basicTypeName(std::string_view text)
{
    static constexpr std::array<std::string_view, 9> kWords = {"void",  "char",   "short",  "int",     "long",
                                                               "float", "double", "signed", "unsigned"};
    std::string spelling;
    BasicWords words;
    TypePtr type;
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (text[pos] == ' ' || text[pos] == '\t') {
            ++pos;
            continue;
        }
        const std::size_t start = pos;
        while (pos < text.size() && text[pos] >= 'a' && text[pos] <= 'z') {
            ++pos;
        }
        const std::string_view word = text.substr(start, pos - start);
        if (word.empty() || std::find(kWords.begin(), kWords.end(), word) == kWords.end()) {
            return nullptr;
        }
        countWord(words, word);
        if (!type) {
            spelling = word;
            type = basicWord(identOf(word));
            continue;
        }
        if (type->kind == kVoid || word == "void" || conflicting(words) ||
            (floating(words) && !floatingCombination(words))) {
            return nullptr;
        }
        spelling += " ";
        spelling += word;
        type = basicOf(identOf(spelling), words);
    }
    return type;
}

// A type name that is one typedef name, read the way the declaration grammar
// reads it; none for any other text.
TypePtr typedefTypeName(std::string_view text, SymbolTable& table, Ident scope)
{
    const std::size_t first = text.find_first_not_of(" \t");
    const std::size_t last = text.find_last_not_of(" \t");
    if (first == std::string_view::npos) {
        return nullptr;
    }
    const std::string_view word = text.substr(first, last - first + 1);
    if (!isIdentStart(word[0]) || !std::all_of(word.begin(), word.end(), isIdentChar)) {
        return nullptr;
    }
    std::string_view canonical;
    if (isSkippedWord(word) || declarationKeyword(word, canonical) != 0 ||
        modernWord(word, canonical) != ModernWord::None) {
        return nullptr;
    }
    const Ident name = identOf(word);
    const Symbol* symbol = table.find(name, scope);
    if (symbol == nullptr || (symbol->storage & kTypedef) == 0) {
        return nullptr;
    }
    CType part;
    part.name = name;
    part.target = symbol->type;
    return C_CPP_new_type(kTypedefName, std::move(part));
}

}  // namespace

TypePtr plainTypeName(std::string_view text, SymbolTable& table, Ident scope)
{
    const std::size_t star = text.find('*');
    const std::string_view words = text.substr(0, star);
    std::size_t pointers = 0;
    for (const char c : text.substr(std::min(star, text.size()))) {
        if (c == '*') {
            ++pointers;
        } else if (c != ' ' && c != '\t') {
            return nullptr;
        }
    }
    TypePtr type = basicTypeName(words);
    if (!type) {
        type = typedefTypeName(words, table, scope);
    }
    if (!type) {
        return nullptr;
    }
    for (; pointers > 0; --pointers) {
        CType part;
        part.target = type;
        type = C_CPP_new_type(kPointer, std::move(part));
    }
    // A copy of its own, as the probe declaration gives.
    return C_CPP_copy_type(type);
}

}  // namespace decl

namespace {

int parseText(std::string_view text, SymbolTable& table, Ident scope, std::string_view file, int firstLine)
{
    LexScope lexScope(text, file, firstLine);
    DeclParse parse;
    parse.lex = &lexScope.context();
    parse.table = &table;
    parse.scope = scope;
    const int before = errorsReported();
    cdeclparse(parse);
    return errorsReported() - before;
}

}  // namespace

int C_CPP_parse_decls(std::string_view text, SymbolTable& table, std::string_view scope, std::string_view file,
                      int firstLine, const DiagnosticCallback& callback, bool /*flag*/)
{
    installCallback(callback);
    return parseText(text, table, scopeIdent(scope), file, firstLine);
}

TypePtr C_CPP_type_of_type_name(std::string_view text, SymbolTable& table, std::string_view scope,
                                std::string_view file, int line)
{
    const Ident scopeName = scopeIdent(scope);
    static const base::CachedIdent probeIdent("__tarvo_var");
    const Ident probeName = probeIdent.get();
    // The common type names are read directly, unless the probe's name
    // means something already (the probe would read differently then).
    if (table.find(probeName, scopeName) == nullptr) {
        if (TypePtr type = decl::plainTypeName(text, table, scopeName)) {
            return type;
        }
    }
    bool failed = false;
    const std::string declaration = "__tarvo_var(" + std::string(text) + ");";
    const bool existed = table.findInScope(probeName, scopeName) != nullptr;
    {
        const ScopedCallback silenced(
            [&failed](int, std::string_view, std::string_view, std::string_view, int) { failed = true; });
        parseText(declaration, table, scopeName, file, line);
    }
    TypePtr result;
    if (const Symbol* probe = table.findInScope(probeName, scopeName); probe != nullptr && !failed) {
        const CType* type = probe->type.get();
        if (type != nullptr && type->kind == kFunction && type->parameters.size() == 1 && type->parameters[0].type &&
            type->parameters[0].name == nullptr) {
            result = C_CPP_copy_type(type->parameters[0].type);
        }
    }
    if (!existed) {
        table.remove(probeName, scopeName);
    }
    return result;
}

}  // namespace qvm::canalysis
