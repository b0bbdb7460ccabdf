// Arbitrary bytes through the text services: extensions, backslash paths,
// the display format suffix, the identifier table and the checksum.
#include "base/extgest.h"
#include "base/cstsyst.h"
#include "base/mstrid.h"
#include "base/mstrin.h"
#include "diag/i18nerrgest.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool quiet = [] {
        qvm::diag::setConsoleSink([](std::string_view) {});
        return true;
    }();
    (void)quiet;

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = input.find('\n');
    const std::string_view first = input.substr(0, cut);
    const std::string_view second = cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1);

    const qvm::base::SplitName split = qvm::base::splitExtension(first);
    if (split.name.size() + split.extension.size() + (split.extension.empty() ? 0 : 1) > first.size()) {
        __builtin_trap();
    }
    qvm::base::relativePath(first, second);
    qvm::base::resolvePath(first, second);
    qvm::base::samePathPrefix(first, second, size);
    qvm::base::samePathPrefix(first, second, size / 2);
    qvm::base::fileNamePart(first);
    qvm::base::directoryPart(first);
    qvm::base::displayFormat(input);
    qvm::base::crc16Kermit(input);

    const qvm::base::Ident id = qvm::base::ident(first);
    if (id != qvm::base::ident(std::string(first))) {
        __builtin_trap();
    }
    // Every input starts from an empty identifier table, as a run does; the
    // table would otherwise keep every text of the whole campaign.
    qvm::base::resetIdentTable();
    qvm::diag::resetRun();
    return 0;
}
