// File name extensions, path helpers of the text kind (backslash as the
// separator, drive prefixes) and the CRC-16 checksum.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qvm::base {

struct SplitName {
    std::string name;       // the name cut at the extension's dot
    std::string extension;  // empty when the name has none
};

// Scans backwards for '.' or '\\'; a dot found first splits off the extension.
SplitName splitExtension(std::string_view name);

// name + "." + ($envVar when set and not empty, else defaultExtension).
std::string withDefaultExtension(std::string_view name, const char* envVar, std::string_view defaultExtension);

// The argument's own extension kept when it has one, else the default one.
std::string withOwnOrDefaultExtension(std::string_view argument, const char* envVar,
                                      std::string_view defaultExtension);

// "%s\\%s": directory, backslash, name.
std::string joinPath(std::string_view directory, std::string_view name);

// A name starting with '\\' or with a drive is kept; an empty name gives the
// directory; otherwise directory + '\\' + name.
std::string resolvePath(std::string_view directory, std::string_view name);

// Relative path from directory a to path b, with ".." steps and backslashes.
std::string relativePath(std::string_view from, std::string_view to);

// 0 when the first length characters of a and b designate the same path.
int samePathPrefix(std::string_view a, std::string_view b, std::size_t length);

// CRC-16, polynomial 0x1021, most significant bit first. With initialByte the
// initial value is that byte in both halves; with reflect, input bytes, a given
// initial value and the result are bit-reversed.
std::uint16_t crc16(std::span<const unsigned char> bytes, std::optional<unsigned char> initialByte,
                    std::uint16_t initialValue, bool reflect);

// The variant the script reader uses: initial byte 0, reflected (CRC-16/KERMIT).
std::uint16_t crc16Kermit(std::span<const unsigned char> bytes);
std::uint16_t crc16Kermit(std::string_view bytes);

}  // namespace qvm::base
