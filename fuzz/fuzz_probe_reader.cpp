// The probe file reader on arbitrary bytes read from a file: it ends,
// gives only records that lie inside the file, and counts damage where a
// file does not end on a whole record. Run with -close_fd_mask=2: the
// reader names each damaged file on standard error.
#include "probecst.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr std::size_t kRecordHead = 24;
constexpr std::size_t kMessageMax = 1024 * 1024;

// One file in memory per process, rewritten for every input and opened by
// its /proc name as a replay opens a probe file by its path.
int inputFile()
{
    static const int fd = [] {
        const int made = memfd_create("fuzz_probe", MFD_CLOEXEC);
        if (made < 0) {
            std::abort();
        }
        return made;
    }();
    return fd;
}

std::string writeInput(const std::uint8_t* data, std::size_t size)
{
    const int fd = inputFile();
    if (ftruncate(fd, 0) != 0 || (size > 0 && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))) {
        std::abort();
    }
    return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string path = writeInput(data, size);
    const int damagedBefore = trv_probe_damaged();
    TRV_PT_PRB prb = trv_open_probe(nullptr, path.data(), nullptr, nullptr, nullptr);
    if (prb == nullptr && (damagedBefore == 0 && trv_probe_damaged() == 0)) {
        __builtin_trap();  // a refused file counts as damaged
    }
    std::size_t consumed = 0;
    TRV_T_DATE time;
    TRV_T_UINT code = 0;
    TRV_T_UINT key = 0;
    void* message = nullptr;
    while (trv_read_probe(prb, &time, &code, &key, &message)) {
        const std::size_t length = trv_probe_length(prb);
        consumed += kRecordHead + length;
        if (length > kMessageMax || consumed > size || message == nullptr || time.trv_nsec < 0 ||
            time.trv_nsec >= 1000000000L) {
            __builtin_trap();
        }
        // Every byte of the message can be read.
        volatile std::uint8_t sum = 0;
        for (std::size_t i = 0; i < length; ++i) {
            sum = sum + static_cast<const std::uint8_t*>(message)[i];
        }
    }
    if (trv_read_probe(prb, &time, &code, &key, &message) != 0) {
        __builtin_trap();  // the end stays the end
    }
    trv_close_probe(prb);
    return 0;
}
