// Hash codes of texts for the string identifier table.
#include "base/mhcode.h"

#include <array>
#include <cstdint>

namespace qvm::base {

namespace {

constexpr std::size_t kPrimeCount = 256;

constexpr std::array<int, kPrimeCount> firstPrimes()
{
    std::array<int, kPrimeCount> primes{};
    std::size_t found = 0;
    for (int candidate = 2; found < kPrimeCount; ++candidate) {
        bool prime = true;
        for (std::size_t i = 0; i < found && primes[i] * primes[i] <= candidate; ++i) {
            if (candidate % primes[i] == 0) {
                prime = false;
                break;
            }
        }
        if (prime) {
            primes[found++] = candidate;
        }
    }
    return primes;
}

constexpr std::array<int, kPrimeCount> kPrimes = firstPrimes();
static_assert(kPrimes.front() == 2 && kPrimes.back() == 1619);

// The hash runs on a 32-bit signed value that wraps like the machine does;
// unsigned arithmetic gives exactly that without overflow. The low byte is
// the value modulo 256 whatever its sign.
int primeAt(std::uint32_t h)
{
    return kPrimes[h & 0xFFU];
}

std::uint32_t hashValueOf(std::string_view text)
{
    std::uint32_t h = 128;
    for (const char c : text) {
        h += static_cast<std::uint32_t>(primeAt(h));
        h += static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(c)));
        h += static_cast<std::uint32_t>(primeAt(h));
    }
    return h;
}

int bucketOf(std::uint32_t hashValue)
{
    int bucket = static_cast<std::int32_t>(hashValue) % kIdentBuckets;
    if (bucket < 0) {
        bucket += kIdentBuckets;
    }
    return bucket;
}

}  // namespace

int identHash(std::string_view text)
{
    return bucketOf(hashValueOf(text));
}

}  // namespace qvm::base
