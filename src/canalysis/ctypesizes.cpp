// Sizes of the basic C types for sizeof and the type table.
#include "canalysis/ctypesizes.h"

#include <algorithm>

namespace qvm::canalysis {

void TypeSizes::registerSize(std::string_view typeText, int bytes)
{
    registered.insert(registered.begin(), {std::string(typeText), bytes});
}

std::optional<int> TypeSizes::registeredBytes(std::string_view typeText) const
{
    const auto found = std::find_if(registered.begin(), registered.end(),
                                    [&](const auto& entry) { return entry.first == typeText; });
    if (found == registered.end()) {
        return std::nullopt;
    }
    return found->second;
}

int TypeSizes::sizeofBytes(std::string_view typeText) const
{
    if (const auto bytes = registeredBytes(typeText)) {
        return *bytes;
    }
    if (typeText == "char") {
        return charBits / 8;
    }
    if (typeText == "short") {
        return shortBits / 8;
    }
    if (typeText == "int") {
        return intBits / 8;
    }
    if (typeText == "long") {
        return longBits / 8;
    }
    return 0;
}

std::pair<const char*, int> TypeSizes::sizeofResult() const
{
    if (pointerBits == longBits && longBits != intBits) {
        return {"unsigned long", longBits};
    }
    return {"unsigned int", intBits};
}

void TypeSizes::reset()
{
    *this = TypeSizes{};
}

TypeSizes& typeSizes()
{
    static TypeSizes sizes;
    return sizes;
}

}  // namespace qvm::canalysis
