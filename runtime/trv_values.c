/* Values as a tester reads them in check, compare and dump lines: unsigned
 * numbers with their bit pattern, enumeration values with their names,
 * binary buffers as a hexadecimal excerpt with their length. */
#include "trv_private.h"

#include <string.h>

/* The digits of value in a power-of-two base (shift bits per digit). */
static void trv_digits(unsigned long value, int shift, const char *prefix, char *out, size_t size)
{
    char digits[sizeof(unsigned long) * 8 + 1];
    int count = 0;
    size_t at;
    do {
        digits[count++] = "0123456789ABCDEF"[value & ((1ul << shift) - 1u)];
        value >>= shift;
    } while (value != 0);
    at = (size_t)snprintf(out, size, "%s", prefix);
    while (count > 0 && at + 1 < size) {
        out[at++] = digits[--count];
    }
    if (at < size) {
        out[at] = '\0';
    }
}

void trv_unsigned_image(unsigned long value, int base, char *out, size_t size)
{
    char hex[sizeof(unsigned long) * 2 + 3];
    switch (base) {
    case TRV_P_BASE16: trv_digits(value, 4, "0x", out, size); break;
    case TRV_P_BASE8: trv_digits(value, 3, "0", out, size); break;
    case TRV_P_BASE2: trv_digits(value, 1, "0b", out, size); break;
    default:
        trv_digits(value, 4, "0x", hex, sizeof hex);
        snprintf(out, size, "%lu (%s)", value, hex);
        break;
    }
}

/* The enumerator of the value, NULL when none has it. */
static const char *trv_enumerator(long value, const TRV_T_ENUM_NAME *names)
{
    for (; names != NULL && names->trv_name != NULL; ++names) {
        if (names->trv_value == value) {
            return names->trv_name;
        }
    }
    return NULL;
}

/* "A|C" when the value is made of enumerators of one bit each, as flags
 * are; 0 when it is not. */
static int trv_flags_image(long value, const TRV_T_ENUM_NAME *names, char *out, size_t size)
{
    unsigned long rest = (unsigned long)value;
    size_t at = 0;
    out[0] = '\0';
    for (; names != NULL && names->trv_name != NULL && rest != 0; ++names) {
        unsigned long bit = (unsigned long)names->trv_value;
        if (names->trv_value > 0 && (bit & (bit - 1u)) == 0 && (rest & bit) != 0 && at + 1 < size) {
            at += (size_t)snprintf(out + at, size - at, "%s%s", at == 0 ? "" : "|", names->trv_name);
            rest &= ~bit;
        }
    }
    return rest == 0 && at > 0 && at < size;
}

void trv_enum_image(long value, int base, const TRV_T_ENUM_NAME *names, char *out, size_t size)
{
    char number[sizeof(unsigned long) * 8 + 3];
    char flags[TRV_K_VALUE_TEXT];
    const char *name = trv_enumerator(value, names);
    if (base == TRV_P_BASE10 || value < 0) {
        snprintf(number, sizeof number, "%ld", value);
    } else {
        trv_unsigned_image((unsigned long)value, base, number, sizeof number);
    }
    if (name != NULL) {
        snprintf(out, size, "%s (%.100s)", number, name);
    } else if (value > 0 && trv_flags_image(value, names, flags, sizeof flags)) {
        snprintf(out, size, "%s (%s)", number, flags);
    } else {
        snprintf(out, size, "%s (no enumerator)", number);
    }
}

void trv_mark_cut(char *text, size_t size, int length)
{
    if (length >= 0 && (size_t)length >= size && size >= 4) {
        memcpy(text + size - 4, "...", 4);
    }
}

void trv_buffer_image(const void *value, size_t count, char *out, size_t size)
{
    const unsigned char *bytes = (const unsigned char *)value;
    size_t at;
    size_t i;
    if (value == NULL) {
        snprintf(out, size, "NIL");
        return;
    }
    at = (size_t)snprintf(out, size, "%lu byte%s {", (unsigned long)count, count == 1 ? "" : "s");
    for (i = 0; i < count && at + 9 < size; ++i) {
        at += (size_t)snprintf(out + at, size - at, i == 0 ? "%02X" : " %02X", bytes[i]);
    }
    if (i < count) {
        at += (size_t)snprintf(out + at, size - at, " ...");
    }
    snprintf(out + at, size - at, "}");
}
