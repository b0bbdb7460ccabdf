// Hash codes of texts: the bucket index of the string identifier table.
#pragma once

#include <cstdint>
#include <string_view>

namespace qvm::base {

constexpr int kIdentBuckets = 19997;

// Bucket index of a text in the string identifier table.
int identHash(std::string_view text);

}  // namespace qvm::base
