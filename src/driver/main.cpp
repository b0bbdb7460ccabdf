// Entry point of qvmprepro: one run of the pipeline, whose result is the exit status.
#include "driver/prepro.h"

int main(int argc, char** argv)
{
    return qvm::driver::run(argc, argv);
}
