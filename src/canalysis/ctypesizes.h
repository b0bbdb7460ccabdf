// Sizes of the basic C types, shared by the #if evaluator (sizeof) and the
// declaration analysis, and changed by the sizeof and signof pragmas.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qvm::canalysis {

struct TypeSizes {
    // Sizes in bits.
    int charBits = 8;
    int shortBits = 16;
    int intBits = 32;
    int longBits = 32;
    int longLongBits = 64;
    bool charUnsigned = false;
    // Size of pointers once a sizeof pragma named a pointer type; 0 before.
    int pointerBits = 0;

    // (type text, size in bytes) pairs registered by the sizeof pragma, the
    // latest first.
    std::vector<std::pair<std::string, int>> registered;

    // Puts a pair at the head of the registered list.
    void registerSize(std::string_view typeText, int bytes);

    // The size of the latest registration of exactly this text.
    std::optional<int> registeredBytes(std::string_view typeText) const;

    // Size in bytes that `sizeof(text)` gives in a preprocessor condition:
    // a registered text first, then "char", "short", "int" and "long";
    // anything else is 0.
    int sizeofBytes(std::string_view typeText) const;

    // The name and size of the unsigned type that `sizeof` yields: the
    // unsigned long when pointers were given the size of long and it differs
    // from int, else the unsigned int.
    std::pair<const char*, int> sizeofResult() const;

    // Back to the default sizes with an empty registered list.
    void reset();
};

TypeSizes& typeSizes();

}  // namespace qvm::canalysis
