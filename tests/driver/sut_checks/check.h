/*
 * The check of the simulated systems' own tests: a failed condition is
 * named on standard output and counted; main returns whether any failed.
 */
#ifndef SUT_CHECK_H
#define SUT_CHECK_H

#include <stdio.h>

static int failures;

#define CHECK(c)                                                                                                       \
    do {                                                                                                               \
        if (!(c)) {                                                                                                    \
            printf("FAIL line %d: %s\n", __LINE__, #c);                                                                \
            failures++;                                                                                                \
        }                                                                                                              \
    } while (0)

#endif /* SUT_CHECK_H */
