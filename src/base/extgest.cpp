// File name extensions, path helpers and the CRC-16.
#include "base/extgest.h"

#include "base/cstsyst.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace qvm::base {

namespace {

bool hasDrive(std::string_view path)
{
    return path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0])) != 0;
}

bool isAnySeparator(char c)
{
    return c == '\\' || c == '/';
}

// The separator a path already uses (its first one), so that what is added to
// it keeps its style; '/' for a path without one.
char separatorOf(std::string_view path)
{
    const std::size_t first = path.find_first_of("/\\");
    return first == std::string_view::npos ? '/' : path[first];
}

std::string withTrailingSeparator(std::string_view path)
{
    std::string result(path);
    if (result.empty() || !isAnySeparator(result.back())) {
        result += separatorOf(path);
    }
    return result;
}

constexpr std::array<std::uint16_t, 256> crcTable()
{
    std::array<std::uint16_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        unsigned crc = byte << 8;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000U) != 0 ? (crc << 1) ^ 0x1021U : crc << 1;
        }
        table[byte] = static_cast<std::uint16_t>(crc);
    }
    return table;
}

// The table of the same polynomial for registers kept bit-reversed.
constexpr std::array<std::uint16_t, 256> reflectedCrcTable()
{
    std::array<std::uint16_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        unsigned crc = byte;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1U) != 0 ? (crc >> 1) ^ 0x8408U : crc >> 1;
        }
        table[byte] = static_cast<std::uint16_t>(crc);
    }
    return table;
}

constexpr std::array<unsigned char, 256> reversedBytes()
{
    std::array<unsigned char, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        unsigned reversed = 0;
        for (int bit = 0; bit < 8; ++bit) {
            if ((byte & (1U << bit)) != 0) {
                reversed |= 0x80U >> bit;
            }
        }
        table[byte] = static_cast<unsigned char>(reversed);
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> kCrcTable = crcTable();
constexpr std::array<std::uint16_t, 256> kReflectedCrcTable = reflectedCrcTable();
constexpr std::array<unsigned char, 256> kReversed = reversedBytes();

// The reflected table of a byte followed by k zero bytes, for k = 0 to 7:
// eight bytes are then folded into the register with eight lookups.
constexpr std::array<std::array<std::uint16_t, 256>, 8> slicedReflectedTables()
{
    std::array<std::array<std::uint16_t, 256>, 8> tables{};
    tables[0] = kReflectedCrcTable;
    for (std::size_t k = 1; k < tables.size(); ++k) {
        for (std::size_t i = 0; i < 256; ++i) {
            const std::uint16_t previous = tables[k - 1][i];
            tables[k][i] = static_cast<std::uint16_t>((previous >> 8) ^ kReflectedCrcTable[previous & 0xFFU]);
        }
    }
    return tables;
}

constexpr auto kSlicedReflected = slicedReflectedTables();

std::uint16_t reflectedCrc(std::uint16_t crc, std::span<const unsigned char> bytes)
{
    const auto& t = kSlicedReflected;
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        const unsigned char* b = bytes.data() + i;
        crc = static_cast<std::uint16_t>(t[7][(crc ^ b[0]) & 0xFFU] ^ t[6][((crc >> 8) ^ b[1]) & 0xFFU] ^
                                         t[5][b[2]] ^ t[4][b[3]] ^ t[3][b[4]] ^ t[2][b[5]] ^ t[1][b[6]] ^
                                         t[0][b[7]]);
    }
    for (; i < bytes.size(); ++i) {
        crc = static_cast<std::uint16_t>((crc >> 8) ^ kReflectedCrcTable[(crc ^ bytes[i]) & 0xFFU]);
    }
    return crc;
}

std::uint16_t reverse16(std::uint16_t value)
{
    return static_cast<std::uint16_t>((kReversed[value & 0xFFU] << 8) | kReversed[value >> 8]);
}

}  // namespace

SplitName splitExtension(std::string_view name)
{
    for (std::size_t i = name.size(); i-- > 0;) {
        if (isAnySeparator(name[i])) {
            break;
        }
        if (name[i] == '.') {
            return {std::string(name.substr(0, i)), std::string(name.substr(i + 1))};
        }
    }
    return {std::string(name), std::string()};
}

std::string withDefaultExtension(std::string_view name, const char* envVar, std::string_view defaultExtension)
{
    const std::string fromEnvironment = envValue(envVar);
    std::string result(name);
    result += '.';
    result += fromEnvironment.empty() ? std::string(defaultExtension) : fromEnvironment;
    return result;
}

std::string withOwnOrDefaultExtension(std::string_view argument, const char* envVar,
                                      std::string_view defaultExtension)
{
    SplitName split = splitExtension(argument);
    if (split.extension.empty()) {
        return withDefaultExtension(split.name, envVar, defaultExtension);
    }
    return split.name + "." + split.extension;
}

std::string joinPath(std::string_view directory, std::string_view name)
{
    std::string path(directory);
    path += separatorOf(directory);
    path += name;
    return path;
}

std::string resolvePath(std::string_view directory, std::string_view name)
{
    if ((!name.empty() && isAnySeparator(name.front())) || hasDrive(name)) {
        return std::string(name);
    }
    if (name.empty()) {
        return std::string(directory);
    }
    return joinPath(directory, name);
}

std::string relativePath(std::string_view from, std::string_view to)
{
    const std::string a = withTrailingSeparator(from);
    const std::string b = withTrailingSeparator(to);
    // The first character of each path is not compared (a drive letter or
    // the leading separator).
    std::size_t restA = 1;
    std::size_t restB = 1;
    while (restA < a.size() && restB < b.size()) {
        const std::size_t endA = a.find_first_of("/\\", restA);
        const std::size_t endB = b.find_first_of("/\\", restB);
        if (std::string_view(a).substr(restA, endA - restA) != std::string_view(b).substr(restB, endB - restB)) {
            break;
        }
        restA = endA + 1;
        restB = endB + 1;
    }
    std::string result;
    for (std::size_t i = restA; i < a.size(); ++i) {
        if (isAnySeparator(a[i])) {
            result += "..";
            result += separatorOf(b);
        }
    }
    if (restB < b.size()) {
        result += b.substr(restB);
    }
    return result;
}

int samePathPrefix(std::string_view a, std::string_view b, std::size_t length)
{
    const std::size_t end = std::min(length, a.size());
    std::size_t i = 0;
    std::size_t j = 0;
    if (!a.empty() && !b.empty() && a.front() != b.front()) {
        if (hasDrive(a) && !hasDrive(b)) {
            i = 2;
        } else if (hasDrive(b) && !hasDrive(a)) {
            j = 2;
        }
    }
    while (i < end) {
        if (isAnySeparator(a[i])) {
            if (j >= b.size() || !isAnySeparator(b[j])) {
                return 1;
            }
            while (i < end && isAnySeparator(a[i])) {
                ++i;
            }
            while (j < b.size() && isAnySeparator(b[j])) {
                ++j;
            }
            continue;
        }
        if (j >= b.size() || a[i] != b[j]) {
            return 1;
        }
        ++i;
        ++j;
    }
    // Asked for more than a holds: b must end there too.
    if (length > a.size() && j < b.size()) {
        return 1;
    }
    return 0;
}

std::uint16_t crc16(std::span<const unsigned char> bytes, std::optional<unsigned char> initialByte,
                    std::uint16_t initialValue, bool reflect)
{
    std::uint16_t crc = 0;
    if (initialByte) {
        crc = static_cast<std::uint16_t>((*initialByte << 8) | *initialByte);
    } else {
        crc = reflect ? reverse16(initialValue) : initialValue;
    }
    if (reflect) {
        // Reversing every input byte and the result is the same as running
        // the bit-reversed register through the reflected table.
        return reflectedCrc(reverse16(crc), bytes);
    }
    for (const unsigned char byte : bytes) {
        crc = static_cast<std::uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ byte) & 0xFFU]);
    }
    return crc;
}

std::uint16_t crc16Kermit(std::span<const unsigned char> bytes)
{
    return crc16(bytes, static_cast<unsigned char>(0), 0, true);
}

std::uint16_t crc16Kermit(std::string_view bytes)
{
    return crc16Kermit(std::span<const unsigned char>(reinterpret_cast<const unsigned char*>(bytes.data()),
                                                      bytes.size()));
}

}  // namespace qvm::base
