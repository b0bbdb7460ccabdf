/* Loop counters and the C library calls that generated code makes. */
#include "trv_private.h"

#include <stdio.h>

TRV_THREAD_LOCAL TRV_T_INT J0, J1, J2, J3, J4, J5, J6, J7, J8, J9, J10, J11, J12, J13, J14, J15, J16, J17, J18, J19,
    J20;
TRV_THREAD_LOCAL TRV_T_INT I0, I1, I2, I3, I4, I5, I6, I7, I8, I9, I10, I11, I12, I13, I14, I15, I16, I17, I18, I19,
    I20;

size_t trv_bounded_copy(char *destination, size_t size, const char *source)
{
    size_t length = strlen(source);
    if (size == 0) {
        memcpy(destination, source, length + 1);
        return length;
    }
    if (length >= size) {
        length = size - 1;
    }
    memcpy(destination, source, length);
    destination[length] = '\0';
    return length;
}

size_t trv_bounded_append(char *destination, size_t size, const char *source)
{
    size_t used;
    if (size == 0) {
        strcat(destination, source);
        return strlen(destination);
    }
    /* An array that holds no terminator yet counts as empty. */
    used = strnlen(destination, size);
    if (used == size) {
        used = 0;
    }
    return used + trv_bounded_copy(destination + used, size - used, source);
}

int trv_bounded_format(char *destination, size_t size, const char *format, ...)
{
    va_list arguments;
    int written;
    va_start(arguments, format);
    if (size == 0) {
        written = vsprintf(destination, format, arguments);
    } else {
        written = vsnprintf(destination, size, format, arguments);
    }
    va_end(arguments);
    return written;
}

void *trv_checked_malloc(size_t size)
{
    void *block = malloc(size == 0 ? 1 : size);
    if (block == NULL) {
        fprintf(stderr, "qvm runtime: out of memory (%lu bytes)\n", (unsigned long)size);
        trv_leave(1);
    }
    return block;
}
