// Evaluates each line of standard input as a #if expression and prints its
// value and the reported warning codes (joined by ',', '-' for none), for
// check_evalif.py.
#include "base/mstrid.h"
#include "canalysis/cerror.h"
#include "canalysis/preprocessor/cevalif.h"

#include <iostream>
#include <string>

int main()
{
    qvm::base::initIdentTable();
    std::string codes;
    qvm::canalysis::installCallback([&](int, std::string_view code, std::string_view, std::string_view, int) {
        codes += (codes.empty() ? "" : ",") + std::string(code);
    });
    std::string line;
    while (std::getline(std::cin, line)) {
        codes.clear();
        const int value = qvm::canalysis::C_CPP_eval_if(line.c_str());
        std::cout << value << ' ' << (codes.empty() ? "-" : codes) << '\n';
    }
}
