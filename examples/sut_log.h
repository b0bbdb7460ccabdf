/*
 * Log lines of the simulated systems under test: one line on standard
 * error per call, after the system's name, so that they stand apart from
 * the test program's own output.
 */
#ifndef SUT_LOG_H
#define SUT_LOG_H

#include <stdarg.h>
#include <stdio.h>

static inline int sut_log_line(const char *system, const char *format, va_list arguments)
{
    fprintf(stderr, "%s: ", system);
    int written = vfprintf(stderr, format, arguments);
    fputc('\n', stderr);
    return written;
}

#endif /* SUT_LOG_H */
