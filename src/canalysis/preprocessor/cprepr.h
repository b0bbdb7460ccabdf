// The C preprocessor: directives, macro definition and expansion, conditional
// compilation, file inclusion through a search list, the predefined names and
// the "#pragma tarvo" words. A cycle is opened by C_CPP_init_prepro, any number
// of texts go through C_CPP_prepro_buffer (macros stay defined from one text to
// the next) and C_CPP_end_prepro closes it.
#pragma once

#include "canalysis/cerror.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qvm::canalysis {

constexpr int kMacroChains = 1403;
constexpr int kMaxInputLevels = 2000;

// What a macro table entry stands for; the numbers are those the macro table
// has always given its kinds.
enum MacroKind : int {
    kKindLine = 10,
    kKindDate = 11,
    kKindFile = 12,
    kKindBaseFile = 13,
    kKindIncludeLevel = 14,
    kKindTime = 16,
    kKindStdc = 17,
    kKindUser = 18,
    kKindUserBusy = 19,  // expansion in progress: not expanded again
    kKindDefined = 20,   // the operator `defined`, only while an #if line is expanded
};

// Whether and how a macro takes variable arguments.
enum class Variadic : int {
    None = 0,
    Named = 1,      // the last parameter is written `name...`
    Anonymous = 2,  // the last parameter is `...`, used through __VA_ARGS__
};

constexpr int kObjectLike = -1;       // the parameter count of an object-like macro
constexpr int kVaArgsReference = -1;  // the parameter index of __VA_ARGS__

// Where a parameter stands in a replacement, and how it is used there.
struct ParameterReference {
    int textBefore = 0;       // plain replacement characters since the previous reference
    int index = 0;            // parameter index, or kVaArgsReference
    char quote = 0;           // 0, '"' for #, '\'' for #@
    bool pasteBefore = false; // ## precedes it
    bool pasteAfter = false;  // ## follows it
};

// A user macro as #define gave it.
struct MacroDefinition {
    int parameterCount = kObjectLike;
    std::string replacement;  // plain text, references removed
    Variadic variadic = Variadic::None;
    bool bracketed = false;   // parameter list written in [ ]
    std::string parameterNames;  // joined by ", "
    std::vector<ParameterReference> references;  // in the order they stand in the replacement

    bool functionLike() const { return parameterCount != kObjectLike; }
};

struct MacroEntry {
    std::string name;
    MacroKind kind = kKindUser;
    std::shared_ptr<const MacroDefinition> definition;  // user macros only; shared with calls in progress
};

// The macro table: 1403 chains, a new entry at the head of its chain.
class MacroTable {
public:
    static unsigned hash(std::string_view name);
    MacroEntry* find(std::string_view name)
    {
        return namesOfShape_[shapeOf(name)] == 0 ? nullptr : findInChain(name);
    }
    MacroEntry& insert(std::string_view name, MacroKind kind);
    void remove(const MacroEntry* entry);
    // Removes every entry of that name; calls visit(kind) for each removed one.
    template <typename Visit>
    void removeAll(std::string_view name, Visit visit)
    {
        auto& chain = chains_[hash(name)];
        for (std::size_t i = chain.size(); i-- > 0;) {
            if (chain[i]->name == name) {
                visit(chain[i]->kind);
                countName(chain[i]->name, -1);
                chain.erase(chain.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
    }
    template <typename Visit>
    void forEach(Visit visit)
    {
        for (auto& chain : chains_) {
            for (auto& entry : chain) {
                visit(*entry);
            }
        }
    }
    // Drops the entries whose kind satisfies the predicate.
    template <typename Pred>
    void removeIf(Pred pred)
    {
        for (auto& chain : chains_) {
            std::erase_if(chain, [&](const std::unique_ptr<MacroEntry>& e) {
                if (!pred(*e)) {
                    return false;
                }
                countName(e->name, -1);
                return true;
            });
        }
    }
    void clear();
    // Makes entry (nullptr: none) found before every stored entry of its
    // name, without storing it; returns the one it replaces.
    MacroEntry* setOverlay(MacroEntry* entry);
    // Grows with every entry added or removed: while it stands still, an
    // entry found before is what a search for its name would find.
    std::uint64_t changes() const { return changes_; }

private:
    // Names are counted by first character and length (the length modulo 32):
    // most names of a text are no macro, and a zero count says so before
    // any hashing.
    static std::size_t shapeOf(std::string_view name)
    {
        return name.empty() ? 0 : static_cast<unsigned char>(name[0]) * 32 + name.size() % 32;
    }
    void countName(std::string_view name, int change);
    MacroEntry* findInChain(std::string_view name);

    // Each chain keeps its head at the back.
    std::array<std::vector<std::unique_ptr<MacroEntry>>, kMacroChains> chains_;
    std::array<std::uint32_t, 256 * 32> namesOfShape_{};
    MacroEntry* overlay_ = nullptr;
    std::uint64_t changes_ = 0;
};

namespace cpp {
class Engine;
}

// One preprocessor: its input stack, conditional stack, include search list,
// pragma aliases, analysis switch and limits. The macro table is the
// caller's, handed to each call. Its calls are those of the entry points
// below, which work on one context of their own. From init to end the #if
// evaluator asks it which macros are defined; cycles of several contexts
// nest, the one opened last answering.
class Preprocessor {
public:
    Preprocessor();
    ~Preprocessor();
    Preprocessor(const Preprocessor&) = delete;
    Preprocessor& operator=(const Preprocessor&) = delete;

    void init(bool pedantic, bool traditional, const std::vector<std::string>& defines,
              const std::vector<std::string>& includeDirectories, std::string_view fileName, MacroTable& table,
              bool buildSearchList);
    int process(std::string_view text, int analyseAll, std::string_view fileName, int firstLine,
                std::string& result, MacroTable& table, DiagnosticCallback callback);
    void end(MacroTable& table, bool freeSearchList);
    int evalIfLine(std::string_view expression);
    bool macroDefined(std::string_view name) const;
    bool passesUnchanged(std::string_view text, MacroTable& table) const;
    const std::vector<std::string>& systemDirectories() const;
    const std::vector<std::string>& typeModifiers() const;
    std::vector<std::string> searchList() const;
    void setResourceLimits(std::size_t maxOutput, std::size_t maxExpansions, bool readFiles = true);

private:
    std::unique_ptr<cpp::Engine> engine_;
};

// Opens a preprocessing cycle. An empty fileName means none.
void C_CPP_init_prepro(bool pedantic, bool traditional, const std::vector<std::string>& defines,
                       const std::vector<std::string>& includeDirectories, std::string_view fileName,
                       MacroTable& table, bool buildSearchList);

// Preprocesses text as the content of fileName from firstLine on; the result
// receives the preprocessed text. Returns the number of errors reported.
int C_CPP_prepro_buffer(std::string_view text, int analyseAll, std::string_view fileName, int firstLine,
                        std::string& result, MacroTable& table, DiagnosticCallback callback);

// Closes the cycle: open conditionals are reported, user macros removed.
void C_CPP_end_prepro(MacroTable& table, bool freeSearchList);

// The value of an #if expression after the same rewriting, macro expansion and
// `defined` handling as an #if line of the current cycle.
int C_CPP_eval_if_line(std::string_view expression);

// Whether a macro of that name is defined in the current cycle's table.
bool C_CPP_macro_defined(std::string_view name);

// Whether C_CPP_prepro_buffer would give the text back as it is (after its
// line marker): a text of one line, a final newline aside, that no rule of
// the preprocessor changes. Nothing is reported either way.
bool C_CPP_passes_unchanged(std::string_view text, MacroTable& table);

// Directories whose headers count as system headers (backslashes doubled).
const std::vector<std::string>& C_CPP_system_directories();

// Names of the type modifier list ("#pragma tarvo type_modifier = NAME").
const std::vector<std::string>& C_CPP_type_modifiers();

// The include search list (an empty name stands for the name as written).
std::vector<std::string> C_CPP_search_list();

// Limits for fuzzing: the run stops quietly (stack emptied) once the output of
// one text, or the text scanned for it (macro expansions and arguments
// included), exceeds maxOutput bytes, or maxExpansions macro expansions happened;
// without readFiles no included file is opened (as if none existed).
void C_CPP_set_resource_limits(std::size_t maxOutput, std::size_t maxExpansions, bool readFiles = true);

// Text preparation: trigraphs, digraphs and a final newline.
std::string C_CPP_prepare_text(std::string_view text);
// The same for a text the caller hands over (a file just read): kept as it is
// when it has no trigraph or digraph, so a large file is not copied again.
std::string prepareOwnedText(std::string text);

}  // namespace qvm::canalysis
