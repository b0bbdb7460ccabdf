// Names a script may not declare: C keywords, and the names that the
// generated program, its runtime header and the C library headers it
// includes use; and '#' declarations that conflict with an earlier
// declaration of their name, which the C compiler would refuse.
#include "script/sempti_analysis.h"

#include "canalysis/declarations/ctabsy.h"
#include "script/ancgest.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <ranges>
#include <span>
#include <string>
#include <vector>

namespace qvm::script::sem {

namespace {

// ---- reserved names ----------------------------------------------------------

// Each list is kept sorted (in byte order) for the search. The C library
// lists are what the headers that TP.h includes declare on a GNU/Linux
// host, compiled as C99 with the GNU extensions: the object-like macros,
// the functions the generated program calls (through TP.h's macros too),
// and every other name at file scope.

// C99 and C11 keywords, the GNU ones, and the later standard's.
constexpr std::string_view kKeywords[] = {
    "_Alignas", "_Alignof", "_Atomic", "_Bool", "_Complex", "_Generic", "_Imaginary", "_Noreturn",
    "_Static_assert", "_Thread_local", "alignas", "alignof", "asm", "auto", "bool", "break", "case", "char",
    "const", "constexpr", "continue", "default", "do", "double", "else", "enum", "extern", "false", "float",
    "for", "goto", "if", "inline", "int", "long", "nullptr", "register", "restrict", "return", "short",
    "signed", "sizeof", "static", "static_assert", "struct", "switch", "thread_local", "true", "typedef",
    "typeof", "typeof_unqual", "union", "unsigned", "void", "volatile", "while",
};
constexpr std::string_view kLibraryMacros[] = {
    "BIG_ENDIAN", "BUFSIZ", "BYTE_ORDER", "EOF", "EXIT_FAILURE", "EXIT_SUCCESS", "FD_SETSIZE", "FILENAME_MAX",
    "FOPEN_MAX", "LITTLE_ENDIAN", "L_ctermid", "L_tmpnam", "MB_CUR_MAX", "NFDBITS", "NULL", "PDP_ENDIAN",
    "P_tmpdir", "RAND_MAX", "SEEK_CUR", "SEEK_END", "SEEK_SET", "TMP_MAX", "WCONTINUED", "WEXITED", "WNOHANG",
    "WNOWAIT", "WSTOPPED", "WUNTRACED", "linux", "stderr", "stdin", "stdout", "unix",
};
constexpr std::string_view kLibraryCalls[] = {
    "atoi", "exit", "free", "malloc", "memcpy", "sprintf", "strcat", "strcmp", "strcpy", "strncmp", "strstr",
};
constexpr std::string_view kLibraryNames[] = {
    "FD_CLR", "FD_ISSET", "FD_SET", "FD_ZERO", "FILE", "WEXITSTATUS", "WIFCONTINUED", "WIFEXITED",
    "WIFSIGNALED", "WIFSTOPPED", "WSTOPSIG", "WTERMSIG", "a64l", "abort", "abs", "alloca", "arc4random",
    "arc4random_buf", "arc4random_uniform", "atexit", "atof", "atol", "atoll", "bcmp", "bcopy", "be16toh",
    "be32toh", "be64toh", "blkcnt_t", "blksize_t", "bsearch", "bzero", "caddr_t", "calloc", "clearenv",
    "clearerr", "clearerr_unlocked", "clock_t", "clockid_t", "ctermid", "daddr_t", "dev_t", "div", "div_t",
    "dprintf", "drand48", "drand48_r", "ecvt", "ecvt_r", "erand48", "erand48_r", "explicit_bzero", "fclose",
    "fcvt", "fcvt_r", "fd_mask", "fd_set", "fdopen", "feof", "feof_unlocked", "ferror", "ferror_unlocked",
    "fflush", "fflush_unlocked", "ffs", "ffsl", "ffsll", "fgetc", "fgetc_unlocked", "fgetpos", "fgets",
    "fileno", "fileno_unlocked", "flockfile", "fmemopen", "fopen", "fpos_t", "fprintf", "fputc",
    "fputc_unlocked", "fputs", "fread", "fread_unlocked", "freopen", "fsblkcnt_t", "fscanf", "fseek", "fseeko",
    "fsetpos", "fsfilcnt_t", "fsid_t", "ftell", "ftello", "ftrylockfile", "funlockfile", "fwrite",
    "fwrite_unlocked", "gcvt", "getc", "getc_unlocked", "getchar", "getchar_unlocked", "getdelim", "getenv",
    "getline", "getloadavg", "gets", "getsubopt", "getw", "gid_t", "htobe16", "htobe32", "htobe64", "htole16",
    "htole32", "htole64", "id_t", "index", "initstate", "initstate_r", "ino_t", "int16_t", "int32_t",
    "int64_t", "int8_t", "jrand48", "jrand48_r", "key_t", "l64a", "labs", "lcong48", "lcong48_r", "ldiv",
    "ldiv_t", "le16toh", "le32toh", "le64toh", "llabs", "lldiv", "lldiv_t", "locale_t", "loff_t", "lrand48",
    "lrand48_r", "mblen", "mbstowcs", "mbtowc", "memccpy", "memchr", "memcmp", "memmove", "memset", "mkdtemp",
    "mkstemp", "mkstemps", "mktemp", "mode_t", "mrand48", "mrand48_r", "nlink_t", "nrand48", "nrand48_r",
    "off_t", "offsetof", "on_exit", "open_memstream", "pclose", "perror", "pid_t", "popen", "posix_memalign",
    "printf", "pselect", "pthread_attr_t", "pthread_barrier_t", "pthread_barrierattr_t", "pthread_cond_t",
    "pthread_condattr_t", "pthread_key_t", "pthread_mutex_t", "pthread_mutexattr_t", "pthread_once_t",
    "pthread_rwlock_t", "pthread_rwlockattr_t", "pthread_spinlock_t", "pthread_t", "ptrdiff_t", "putc",
    "putc_unlocked", "putchar", "putchar_unlocked", "putenv", "puts", "putw", "qecvt", "qecvt_r", "qfcvt",
    "qfcvt_r", "qgcvt", "qsort", "quad_t", "rand", "rand_r", "random", "random_r", "realloc", "reallocarray",
    "realpath", "register_t", "remove", "rename", "renameat", "rewind", "rindex", "rpmatch", "scanf", "seed48",
    "seed48_r", "select", "setbuf", "setbuffer", "setenv", "setlinebuf", "setstate", "setstate_r", "setvbuf",
    "sigset_t", "size_t", "snprintf", "srand", "srand48", "srand48_r", "srandom", "srandom_r", "sscanf",
    "ssize_t", "stpcpy", "strcasecmp", "strcasecmp_l", "strchr", "strcoll", "strcoll_l", "strcspn", "strdup",
    "strerror", "strerror_l", "strerror_r", "strlen", "strncasecmp", "strncasecmp_l", "strncat", "strncpy",
    "strndup", "strnlen", "strpbrk", "strrchr", "strsep", "strsignal", "strspn", "strtod", "strtof", "strtok",
    "strtok_r", "strtol", "strtold", "strtoll", "strtoq", "strtoul", "strtoull", "strtouq", "strxfrm",
    "strxfrm_l", "suseconds_t", "system", "tempnam", "time_t", "timer_t", "tmpfile", "tmpnam", "tmpnam_r",
    "u_char", "u_int", "u_int16_t", "u_int32_t", "u_int64_t", "u_int8_t", "u_long", "u_quad_t", "u_short",
    "uid_t", "uint", "ulong", "ungetc", "unsetenv", "ushort", "va_list", "valloc", "vdprintf", "vfprintf",
    "vfscanf", "vprintf", "vscanf", "vsnprintf", "vsprintf", "vsscanf", "wchar_t", "wcstombs", "wctomb",
};

// Macros of the runtime header: they replace the name wherever it stands.
constexpr std::string_view kRuntimeMacros[] = {
    "ANSI_C", "K_TRACECTX_MAX_PRIORITY", "NIL", "NONIL", "QVM_DYNFLW", "QVM_EXIT", "QVM_TAGTBUF_SIZE",
    "QVM_TP_H", "TIME", "USE_QVM", "WTIME",
};
// Functions the runtime header declares at file scope.
constexpr std::string_view kRuntimeFunctions[] = {"priv_boot_tagtlk", "priv_close_tagtlk", "priv_interrecv"};
// The generated program's own function at file scope.
constexpr std::string_view kProgramNames[] = {"main"};
// Names the generated functions give their parameters and locals, and the
// run context its members: only a macro of that name reaches them.
constexpr std::string_view kProgramLocals[] = {
    "arg", "argRioFileName", "argc", "argv", "fd", "instance_name", "lstflt", "msg_rcv", "rio_file_name",
    "timer", "tstnaming",
};

enum class Reason : std::uint8_t {
    Keyword,
    GeneratorPrefix,  // trv_ and TRV_
    Program,          // the loop counters and the names above of the generated program
    Runtime,          // the runtime header's
    Library,          // the C library headers'
};

// Where the names of a list stand in the way: everywhere, at file scope (a
// file-scope declaration or a macro), or only for a macro.
enum class Reach : std::uint8_t { Everywhere, FileScope, MacroOnly };

struct ReservedList {
    std::span<const std::string_view> names;
    Reason reason;
    Reach reach;
    bool library;  // a declaration that the C analysis has from a header is judged against it instead
};

constexpr ReservedList kReservedLists[] = {
    {kKeywords, Reason::Keyword, Reach::Everywhere, false},
    {kRuntimeMacros, Reason::Runtime, Reach::Everywhere, false},
    {kRuntimeFunctions, Reason::Runtime, Reach::FileScope, false},
    {kProgramNames, Reason::Program, Reach::FileScope, false},
    {kProgramLocals, Reason::Program, Reach::MacroOnly, false},
    {kLibraryMacros, Reason::Library, Reach::Everywhere, false},
    {kLibraryCalls, Reason::Library, Reach::Everywhere, true},
    {kLibraryNames, Reason::Library, Reach::FileScope, true},
};

constexpr bool allSorted()
{
    return std::ranges::all_of(kReservedLists,
                               [](const ReservedList& list) { return std::ranges::is_sorted(list.names); });
}
static_assert(allSorted(), "reserved names are searched in sorted lists");

bool reaches(Reach reach, NameUse use)
{
    switch (reach) {
    case Reach::Everywhere: return true;
    case Reach::FileScope: return use != NameUse::Block;
    case Reach::MacroOnly: return use == NameUse::Macro;
    }
    return true;
}

// I0 to I20 and J0 to J20: the loop counters of generated code.
bool isLoopCounter(std::string_view name)
{
    if (name.size() < 2 || name.size() > 3 || (name[0] != 'I' && name[0] != 'J')) {
        return false;
    }
    const std::string_view digits = name.substr(1);
    if (!std::ranges::all_of(digits, [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }) ||
        (digits.size() == 2 && digits[0] == '0')) {
        return false;
    }
    return std::stoi(std::string(digits)) <= 20;
}

struct Reservation {
    Reason reason;
    bool library;
};

std::optional<Reservation> reservationOf(std::string_view name, NameUse use)
{
    if (name.starts_with("trv_") || name.starts_with("TRV_")) {
        return Reservation{Reason::GeneratorPrefix, false};
    }
    if (isLoopCounter(name)) {
        return Reservation{Reason::Program, false};
    }
    for (const ReservedList& list : kReservedLists) {
        if (reaches(list.reach, use) && std::ranges::binary_search(list.names, name)) {
            return Reservation{list.reason, list.library};
        }
    }
    return std::nullopt;
}

diag::MessageCode codeOf(Reason reason)
{
    switch (reason) {
    case Reason::Keyword: return "RESCKEYWD";
    case Reason::GeneratorPrefix: return "RESPREFIX";
    case Reason::Program: return "RESGENPRG";
    case Reason::Runtime: return "RESRUNTIM";
    case Reason::Library: break;
    }
    return "RESCLIBRY";
}

// ---- conflicting declarations ------------------------------------------------

using canalysis::CType;
using canalysis::Symbol;

constexpr int kMaxTypeDepth = 64;  // deeper types are taken as they come

enum Qualifier : unsigned { kConst = 1, kVolatile = 2, kRestrict = 4, kAtomic = 8 };

unsigned qualifierBit(base::Ident name)
{
    const std::string_view word = base::identOrEmpty(name);
    if (word.find("const") != std::string_view::npos) {
        return kConst;
    }
    if (word.find("volatile") != std::string_view::npos) {
        return kVolatile;
    }
    if (word.find("restrict") != std::string_view::npos) {
        return kRestrict;
    }
    return word == "_Atomic" ? unsigned{kAtomic} : 0U;
}

// A type with its typedef names followed and its qualifiers gathered; an
// absent type stands for int. Not known: a typedef name whose type is not.
struct Plain {
    const CType* type = nullptr;
    unsigned qualifiers = 0;
    bool known = true;
};

Plain plainOf(const CType* type)
{
    Plain plain;
    for (int depth = 0; type != nullptr && depth < kMaxTypeDepth; ++depth) {
        if (type->kind == canalysis::kQualified) {
            plain.qualifiers |= qualifierBit(type->name);
        } else if (type->kind != canalysis::kTypedefName) {
            break;
        }
        if (type->target == nullptr) {
            plain.known = type->kind == canalysis::kQualified;  // "const x": an int
            type = nullptr;
            break;
        }
        type = type->target.get();
    }
    plain.type = type;
    return plain;
}

int kindOf(const CType* type)
{
    return type == nullptr ? canalysis::kBasic : type->kind;
}

// An integer or floating type as its words say it, whatever their order:
// "unsigned int" and "unsigned" are one type, "long" and "long long" two.
std::string basicKey(const CType* type)
{
    if (type == nullptr || type->name == nullptr) {
        return type == nullptr ? "int" : std::to_string(type->size) + (type->isChar ? " char" : "");
    }
    const std::string_view spelling(type->name);
    bool isUnsigned = false;
    bool isSigned = false;
    bool isChar = false;
    std::vector<std::string_view> words;
    for (const auto part : std::views::split(spelling, ' ')) {
        const std::string_view word(part.begin(), part.end());
        if (word == "unsigned") {
            isUnsigned = true;
        } else if (word == "signed" || word == "__signed" || word == "__signed__") {
            isSigned = true;
        } else if (word == "char") {
            isChar = true;
        } else if (!word.empty() && word != "int") {
            words.push_back(word);
        }
    }
    if (isChar) {
        return isUnsigned ? "unsigned char" : isSigned ? "signed char" : "char";
    }
    std::ranges::sort(words);
    std::string key = isUnsigned ? "unsigned" : "";
    for (const std::string_view word : words) {
        key += ' ';
        key += word;
    }
    return key.empty() || key == "unsigned" ? key + " int" : key;
}

// Both array dimensions written as different numbers.
bool differentDimensions(const CType& a, const CType& b)
{
    const std::string_view x = base::identOrEmpty(a.dimension);
    const std::string_view y = base::identOrEmpty(b.dimension);
    const auto number = [](std::string_view text) {
        return !text.empty() && std::ranges::all_of(text, [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
    };
    return number(x) && number(y) && x != y;
}

bool compatible(const CType* a, const CType* b, int depth, bool topQualifiers);

// Parameters: an array or a pointer stands for a pointer, and their own
// qualifiers do not count.
bool compatibleParameters(const CType* a, const CType* b, int depth)
{
    const Plain x = plainOf(a);
    const Plain y = plainOf(b);
    const auto pointerLike = [](const Plain& p) {
        return p.type != nullptr && (p.type->kind == canalysis::kPointer || p.type->kind == canalysis::kArray);
    };
    if (pointerLike(x) && pointerLike(y)) {
        return compatible(x.type->target.get(), y.type->target.get(), depth + 1, true);
    }
    return compatible(a, b, depth + 1, false);
}

// No parameter for "(void)".
std::size_t parameterCount(const CType& function)
{
    const auto& parameters = function.parameters;
    if (parameters.size() == 1 && parameters[0].name == nullptr && parameters[0].type != nullptr &&
        parameters[0].type->kind == canalysis::kVoid) {
        return 0;
    }
    return parameters.size();
}

bool compatibleFunctions(const CType& a, const CType& b, int depth)
{
    if (!compatible(a.target.get(), b.target.get(), depth + 1, false)) {
        return false;
    }
    if (!a.prototype || !b.prototype) {
        return true;  // an old-style declaration says nothing of the parameters
    }
    const std::size_t count = parameterCount(a);
    if (count != parameterCount(b)) {
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const CType* x = a.parameters[i].type.get();
        const CType* y = b.parameters[i].type.get();
        if (x == nullptr || y == nullptr) {
            continue;
        }
        if ((x->kind == canalysis::kEllipsis) != (y->kind == canalysis::kEllipsis) ||
            !compatibleParameters(x, y, depth)) {
            return false;
        }
    }
    return true;
}

// Whether two declarations of one name give it compatible types. Where the
// C analysis cannot tell (a type it does not know, an enumeration against
// an integer type, array dimensions that are not plain numbers) they are.
bool compatible(const CType* a, const CType* b, int depth, bool topQualifiers)
{
    if (depth > kMaxTypeDepth) {
        return true;
    }
    const Plain x = plainOf(a);
    const Plain y = plainOf(b);
    if (!x.known || !y.known) {
        return true;
    }
    if (topQualifiers && x.qualifiers != y.qualifiers) {
        return false;
    }
    if (x.type == y.type) {
        return true;
    }
    const int kind = kindOf(x.type);
    const int other = kindOf(y.type);
    const auto integerOrEnum = [](int k) { return k == canalysis::kBasic || k == canalysis::kEnum; };
    if (kind != other) {
        return integerOrEnum(kind) && integerOrEnum(other);
    }
    switch (kind) {
    case canalysis::kBasic:
    case canalysis::kFloating: return basicKey(x.type) == basicKey(y.type);
    case canalysis::kStruct:
    case canalysis::kUnion: return x.type->aggregate == y.type->aggregate || x.type->name == y.type->name;
    case canalysis::kEnum: return x.type->enumeration == y.type->enumeration || x.type->name == y.type->name;
    case canalysis::kPointer: return compatible(x.type->target.get(), y.type->target.get(), depth + 1, true);
    case canalysis::kArray:
        return !differentDimensions(*x.type, *y.type) &&
               compatible(x.type->target.get(), y.type->target.get(), depth + 1, true);
    case canalysis::kFunction: return compatibleFunctions(*x.type, *y.type, depth);
    default: return true;
    }
}

enum class NameKind { Variable, Function, TypeName };

NameKind kindOf(const Symbol& symbol)
{
    if ((symbol.storage & canalysis::kTypedef) != 0) {
        return NameKind::TypeName;
    }
    const Plain plain = plainOf(symbol.type.get());
    return plain.type != nullptr && plain.type->kind == canalysis::kFunction ? NameKind::Function
                                                                            : NameKind::Variable;
}

std::string_view kindName(NameKind kind)
{
    switch (kind) {
    case NameKind::Variable: return "a variable";
    case NameKind::Function: return "a function";
    case NameKind::TypeName: return "a type name";
    }
    return {};
}

bool isDefinition(const Symbol& symbol)
{
    if (symbol.init != nullptr) {
        return true;
    }
    const Plain plain = plainOf(symbol.type.get());
    return plain.type != nullptr && plain.type->kind == canalysis::kFunction && plain.type->definition;
}

// The C text of a declared type; an unnamed structure, union or
// enumeration shows as "struct {...}" rather than by its made-up tag.
std::string typeText(const Symbol& symbol)
{
    if (symbol.type == nullptr) {
        return "int";
    }
    std::string text = canalysis::C_CPP_type_image(symbol.type.get());
    const std::string prefix = canalysis::unnamedTagPrefix();
    for (std::size_t at = text.find(prefix); at != std::string::npos; at = text.find(prefix, at)) {
        std::size_t end = at + prefix.size();
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])) != 0) {
            ++end;
        }
        text.replace(at, end - at, "{...}");
    }
    return text;
}

// Why the later declaration of a name at file scope cannot stand beside the
// earlier one, as "'name': <this one> here, <that one> in <file>"; none
// when it can.
std::optional<std::string> conflictOf(const Symbol& declared, const Symbol& earlier)
{
    const std::string name = "'" + std::string(base::identText(declared.name)) + "': ";
    std::string file(base::identOrEmpty(earlier.file));
    const std::string where = file.empty() ? std::string(" before") : " in " + file;
    const NameKind now = kindOf(declared);
    const NameKind before = kindOf(earlier);
    if (now != before) {
        return name + std::string(kindName(now)) + " here, " + std::string(kindName(before)) + where;
    }
    if (!compatible(declared.type.get(), earlier.type.get(), 0, true)) {
        return name + typeText(declared) + " here, " + typeText(earlier) + where;
    }
    if (now == NameKind::TypeName) {
        // The C of the generated program (C99) defines a type name once.
        return name + "a type name here and" + where;
    }
    if ((declared.storage & canalysis::kStatic) != 0 && (earlier.storage & canalysis::kStatic) == 0) {
        return name + "static here, with external linkage" + where;
    }
    if (isDefinition(declared) && isDefinition(earlier)) {
        return name + "defined here and" + where;
    }
    return std::nullopt;
}

// The name after "#define" on a line of C text, empty when it defines none.
std::string_view definedMacro(std::string_view line)
{
    const auto skipBlanks = [&line] {
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
            line.remove_prefix(1);
        }
    };
    skipBlanks();
    if (!line.starts_with('#')) {
        return {};
    }
    line.remove_prefix(1);
    skipBlanks();
    if (!line.starts_with("define")) {
        return {};
    }
    line.remove_prefix(6);
    if (line.empty() || (line.front() != ' ' && line.front() != '\t')) {
        return {};
    }
    skipBlanks();
    std::size_t end = 0;
    while (end < line.size() && (std::isalnum(static_cast<unsigned char>(line[end])) != 0 || line[end] == '_')) {
        ++end;
    }
    return line.substr(0, end);
}

// A report found while the C analysis reads a text, made once it is done.
struct Finding {
    diag::MessageCode code;
    std::string argument;
    int line = 0;
};

// Shows the declarations of the C analysis to a watch for as long as it lives.
class ScopedWatch {
public:
    template <typename Watch>
    ScopedWatch(canalysis::SymbolTable& table, Watch watch) : table_(table)
    {
        table_.declarationWatch = std::move(watch);
    }
    ScopedWatch(const ScopedWatch&) = delete;
    ScopedWatch& operator=(const ScopedWatch&) = delete;
    ~ScopedWatch() { table_.declarationWatch = nullptr; }

private:
    canalysis::SymbolTable& table_;
};

// How a structure or union is named: by its tag, else by a type name
// that stands for it.
std::string aggregateName(const canalysis::Tag& tag)
{
    const std::string kind = tag.kind == canalysis::kUnion ? "union " : "structure ";
    const std::string_view tagName = base::identOrEmpty(tag.name);
    if (!tagName.starts_with(canalysis::unnamedTagPrefix())) {
        return kind + std::string(tagName);
    }
    for (const Symbol* symbol : cSymbols().symbolsOf(nullptr)) {
        const Plain plain = plainOf(symbol->type.get());
        if ((symbol->storage & canalysis::kTypedef) != 0 && plain.type != nullptr &&
            plain.type->aggregate == tag.aggregate.get()) {
            return std::string(symbol->name);
        }
    }
    return "an unnamed " + kind;
}

// "'name' (a member of <structure>)" when a structure or union known at
// file scope has a member of that name; none otherwise.
std::optional<std::string> memberNamed(std::string_view name)
{
    const base::Ident id = base::ident(name);
    const canalysis::SymbolTable& symbols = cSymbols();
    if (!symbols.fileScopeMemberGiven(id)) {
        return std::nullopt;
    }
    for (const canalysis::Tag* tag : symbols.tagsOf(nullptr)) {
        if (tag->aggregate == nullptr) {
            continue;
        }
        const auto& fields = tag->aggregate->fields;
        if (std::ranges::any_of(fields, [id](const canalysis::Field& field) { return field.name == id; })) {
            return "'" + std::string(name) + "' (a member of " + aggregateName(*tag) + ")";
        }
    }
    return std::nullopt;
}

}  // namespace

bool Analysis::acceptDeclaredName(std::string_view name, NameUse use, const Origin& origin)
{
    if (const std::optional<Reservation> reserved = reservationOf(name, use)) {
        report(diag::Error, codeOf(reserved->reason), name, origin);
        return false;
    }
    if (use == NameUse::Macro) {
        if (const std::optional<std::string> member = memberNamed(name)) {
            report(diag::Error, "MACMEMBER", *member, origin);
            return false;
        }
    }
    return true;
}

// Each name the text itself declares (not those of the files it includes)
// must not be reserved; at file scope it must not conflict with an earlier
// declaration of the same name. A C library name that the C analysis has
// from a header is judged against that declaration.
void Analysis::declareScriptText(const PendingText& pending, std::string_view cScope)
{
    const NameUse use = cScope.empty() ? NameUse::FileScope : NameUse::Block;
    const Origin origin{pending.fileName, 0, pending.line};
    std::vector<Finding> findings;
    std::size_t lineStart = 0;
    for (int offset = 0; lineStart < pending.text.size(); ++offset) {
        const std::size_t end = std::min(pending.text.find('\n', lineStart), pending.text.size());
        const std::string_view macro = definedMacro(std::string_view(pending.text).substr(lineStart, end - lineStart));
        if (const std::optional<Reservation> reserved = macro.empty() ? std::nullopt : reservationOf(macro, NameUse::Macro)) {
            findings.push_back({codeOf(reserved->reason), std::string(macro), pending.line + offset});
        }
        lineStart = end + 1;
    }
    // What the watch looks at, captured as one reference: the watch then
    // needs no room of its own.
    const struct {
        base::Ident scriptFile;
        NameUse use;
        std::vector<Finding>& findings;
    } watched{base::ident(pending.fileName), use, findings};
    {
        const ScopedWatch watch(cSymbols(), [&watched](const Symbol& declared, const Symbol* earlier, int line) {
            if (declared.file != watched.scriptFile || declared.name == nullptr) {
                return;
            }
            const std::string_view name(declared.name);
            const bool fromHeader = earlier != nullptr && earlier->file != watched.scriptFile;
            const std::optional<Reservation> reserved = reservationOf(name, watched.use);
            if (reserved && !(reserved->library && fromHeader && watched.use == NameUse::FileScope)) {
                watched.findings.push_back({codeOf(reserved->reason), std::string(name), line});
                return;
            }
            if (watched.use == NameUse::FileScope && earlier != nullptr) {
                if (std::optional<std::string> conflict = conflictOf(declared, *earlier)) {
                    watched.findings.push_back({"DCLCONFLT", std::move(*conflict), line});
                }
            }
        });
        declareCText(pending.text, cScope, pending.fileName, pending.line);
    }
    std::ranges::stable_sort(findings, {}, &Finding::line);
    for (const Finding& finding : findings) {
        report(diag::Error, finding.code, finding.argument, Origin{origin.fileName, 0, finding.line});
    }
}

}  // namespace qvm::script::sem
