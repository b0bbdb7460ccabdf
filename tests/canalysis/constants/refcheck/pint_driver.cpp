// Reads big-integer operations from standard input, one per line, and prints
// each result with the codes it reported, for check_pint.py.
//
//   add|sub|mul A B       -> R          addint|mulint A N   -> R
//   div A B               -> Q R        divint A D          -> Q REMAINDER
//   shl|shr A C           -> R          cmp A B             -> -1|0|1
//   fits A N              -> 0|1        toint A             -> N
//   img1 A                -> TEXT       img8 A SIZE         -> TEXT
//
// Big integers are 42 hexadecimal digits, most significant first; each output
// line ends with the reported codes joined by ',' or '-' when there were none.
#include "canalysis/constants/cvalue.h"
#include "canalysis/constants/mfmath.h"
#include "diag/catalog.h"
#include "diag/i18nerrgest.h"

#include <iostream>
#include <sstream>
#include <string>

namespace {

using namespace qvm::canalysis;

PInt readPInt(const std::string& hex)
{
    PInt value;
    for (std::size_t i = 0; i < kPIntBytes; ++i) {
        const auto byte = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
        value.bytes[i == 0 ? 0 : kPIntBytes - i] = byte;
    }
    return value;
}

std::string hexOf(const PInt& value)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < kPIntBytes; ++i) {
        const std::uint8_t byte = value.bytes[i == 0 ? 0 : kPIntBytes - i];
        text += digits[byte >> 4];
        text += digits[byte & 0xf];
    }
    return text;
}

std::string run(const std::string& op, std::istringstream& in)
{
    std::string a;
    in >> a;
    const PInt x = readPInt(a);
    PInt r;
    if (op == "add" || op == "sub" || op == "mul" || op == "div" || op == "shl" || op == "shr" || op == "cmp") {
        std::string b;
        in >> b;
        const PInt y = readPInt(b);
        if (op == "add") pint_add(r, x, y);
        if (op == "sub") pint_sub(r, x, y);
        if (op == "mul") pint_mul(r, x, y);
        if (op == "shl") pint_shift_left(r, x, y);
        if (op == "shr") pint_shift_right(r, x, y);
        if (op == "cmp") return std::to_string(pint_cmp(x, y));
        if (op == "div") {
            PInt remainder;
            pint_div(r, x, y, remainder);
            return hexOf(r) + " " + hexOf(remainder);
        }
        return hexOf(r);
    }
    long n = 0;
    if (op != "img1" && op != "toint") {
        in >> n;
    }
    if (op == "addint") pint_add_int(r, x, static_cast<std::int32_t>(n));
    else if (op == "mulint") pint_mul_int(r, x, static_cast<std::int32_t>(n));
    else if (op == "divint") {
        int remainder = 0;
        pint_div_int(r, x, static_cast<int>(n), remainder);
        return hexOf(r) + " " + std::to_string(remainder);
    } else if (op == "fits") return pint_fits(x, static_cast<int>(n)) ? "1" : "0";
    else if (op == "toint") return std::to_string(pint_to_int(x));
    else if (op == "img1" || op == "img8") {
        std::string text;
        pint_image(x, op == "img1" ? 1 : 8, static_cast<int>(n), text);
        return text;
    } else return "unknown-operation";
    return hexOf(r);
}

}  // namespace

int main()
{
    std::string console;
    qvm::diag::registerBuiltinCatalogs();
    qvm::diag::setConsoleSink([&](std::string_view text) { console += text; });
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string op;
        in >> op;
        console.clear();
        std::string result = run(op, in);
        std::string codes;
        for (std::size_t at = 0; (at = console.find("Fenwir-", at)) != std::string::npos;) {
            const std::size_t end = console.find(',', at);
            codes += (codes.empty() ? "" : ",") + console.substr(at + 9, end - at - 9);
            at = end;
        }
        std::cout << result << ' ' << (codes.empty() ? "-" : codes) << '\n';
    }
}
