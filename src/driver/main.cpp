#include "driver/prepro.h"

int main(int argc, char** argv)
{
    return qvm::driver::run(argc, argv);
}
