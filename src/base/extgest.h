// File name extensions, path helpers of the text kind and the CRC-16
// checksum. Both '/' and '\\' separate directories; what a helper adds to a
// path uses the separator that path already uses, '/' when it has none.
// Drive prefixes ("X:") are recognised.
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

// Scans backwards for '.' or a separator; a dot found first splits off the
// extension, so "dir.d/run" has none.
SplitName splitExtension(std::string_view name);

// name + "." + ($envVar when set and not empty, else defaultExtension).
std::string withDefaultExtension(std::string_view name, const char* envVar, std::string_view defaultExtension);

// The argument's own extension kept when it has one, else the default one.
std::string withOwnOrDefaultExtension(std::string_view argument, const char* envVar,
                                      std::string_view defaultExtension);

// Directory, separator, name.
std::string joinPath(std::string_view directory, std::string_view name);

// A name starting with a separator or with a drive is kept; an empty name
// gives the directory; otherwise directory, separator, name.
std::string resolvePath(std::string_view directory, std::string_view name);

// Relative path from directory a to path b: a ".." step (with b's separator)
// for each component of a after the common ones, then the rest of b.
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
