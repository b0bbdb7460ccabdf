#pragma once

#include <cstdint>
#include <string_view>

namespace qvm::base {

constexpr int kIdentBuckets = 19997;

// Bucket index of a text in the string identifier table.
int identHash(std::string_view text);

// The hash value before its reduction to a bucket; the table keeps it with
// each entry so that most unequal texts of a chain are told apart without
// comparing them.
std::uint32_t identHashValue(std::string_view text);

// The bucket of a hash value.
int identBucket(std::uint32_t hashValue);

}  // namespace qvm::base
