/* Variable checks: expected values (VAR with EV=), message comparisons,
 * dumps, value ranges and the parameter checks of native calls.  Every
 * check traces its values; the checks between trv_var_va and
 * trv_end_var_va, and between trv_bcf and trv_cf, make one verdict. */
#include "trv_private.h"

#include <ctype.h>
#include <stdint.h>
#include <sys/mman.h>
#include <unistd.h>

union trv_u_nonil trv_nonil_object;

typedef char trv_value_text[TRV_K_VALUE_TEXT];

/* ---- Value images ------------------------------------------------------- */

static void trv_binary_image(unsigned long value, char *out, size_t size)
{
    char digits[sizeof(unsigned long) * 8 + 1];
    int count = 0;
    do {
        digits[count++] = (char)('0' + (value & 1));
        value >>= 1;
    } while (value != 0);
    if (size < 3) {
        return;
    }
    out[0] = '0';
    out[1] = 'b';
    {
        size_t at = 2;
        while (count > 0 && at + 1 < size) {
            out[at++] = digits[--count];
        }
        out[at] = '\0';
    }
}

/* An integer in the base of its format: negative values of the other bases
 * show their bit pattern of the given width. */
static void trv_integer_image(long value, unsigned long mask, int base, char *out, size_t size)
{
    unsigned long bits = (unsigned long)value & mask;
    switch (base) {
    case TRV_P_BASE16: snprintf(out, size, "0x%lX", bits); break;
    case TRV_P_BASE8: snprintf(out, size, "0%lo", bits); break;
    case TRV_P_BASE2: trv_binary_image(bits, out, size); break;
    default: snprintf(out, size, "%ld", value); break;
    }
}

static void trv_int_image(TRV_T_INT value, int base, char *out, size_t size)
{
    trv_integer_image((long)value, (unsigned long)(unsigned int)-1, base, out, size);
}

static void trv_long_image(TRV_T_LONG value, int base, char *out, size_t size)
{
    trv_integer_image((long)value, (unsigned long)-1, base, out, size);
}

static void trv_byte_image(TRV_T_CAR value, int base, char *out, size_t size)
{
    unsigned char byte = (unsigned char)value;
    if (base == TRV_P_BASE10) {
        snprintf(out, size, "%u", byte);
    } else {
        trv_integer_image((long)byte, 0xFFul, base, out, size);
    }
}

static void trv_char_image(TRV_T_CAR value, char *out, size_t size)
{
    unsigned char byte = (unsigned char)value;
    if (isprint(byte) && byte != '\'' && byte != '\\') {
        snprintf(out, size, "'%c'", byte);
    } else {
        snprintf(out, size, "'\\x%02X'", byte);
    }
}

/* No object lies in the first page of memory: a pointer there is a number
 * given as a pointer, never read. */
#define TRV_K_FIRST_ADDRESS 4096

static void trv_pointer_image(const void *value, char *out, size_t size);

static uintptr_t trv_page_size(void)
{
    static uintptr_t page_size;
    if (page_size == 0) {
        long size = sysconf(_SC_PAGESIZE);
        page_size = size > 0 ? (uintptr_t)size : 4096u;
    }
    return page_size;
}

/* Whether the page that holds the address is mapped: a pointer read from
 * memory the script never set (a union's other member, say) may point
 * anywhere, and reading it would end the run. */
static int trv_page_mapped(const char *address)
{
    unsigned char resident;
    return mincore((void *)((uintptr_t)address & ~(trv_page_size() - 1)), 1, &resident) == 0;
}

/* Whether a string's characters, up to its terminator, all lie in mapped
 * pages. */
static int trv_string_readable(const char *value)
{
    if ((uintptr_t)value < TRV_K_FIRST_ADDRESS || (const void *)value == NONIL) {
        return 0;
    }
    for (;;) {
        const char *page_end;
        if (!trv_page_mapped(value)) {
            return 0;
        }
        page_end = (const char *)(((uintptr_t)value | (trv_page_size() - 1)) + 1u);
        for (; value < page_end; ++value) {
            if (*value == '\0') {
                return 1;
            }
        }
    }
}

/* A string of at most limit characters: an array of characters may hold
 * no terminator, and its image stops at the array's end. */
static void trv_text_image(const char *value, size_t limit, char *out, size_t size)
{
    size_t at = 0;
    size_t i;
    if (value == NULL) {
        snprintf(out, size, "NULL");
        return;
    }
    if ((const void *)value == NONIL || (uintptr_t)value < TRV_K_FIRST_ADDRESS ||
        (limit == TRV_NO_SIZE && !trv_string_readable(value))) {
        trv_pointer_image(value, out, size);
        return;
    }
    out[at++] = '"';
    for (i = 0; i < limit && value[i] != '\0' && at + 6 < size; ++i) {
        unsigned char c = (unsigned char)value[i];
        if (c == '"' || c == '\\') {
            out[at++] = '\\';
            out[at++] = (char)c;
        } else if (isprint(c)) {
            out[at++] = (char)c;
        } else {
            at += (size_t)snprintf(out + at, size - at, "\\x%02X", c);
        }
    }
    if (i < limit && value[i] != '\0') {
        out[at++] = '.';
        out[at++] = '.';
        out[at++] = '.';
    }
    out[at++] = '"';
    out[at] = '\0';
}

static void trv_string_image(const char *value, char *out, size_t size)
{
    trv_text_image(value, TRV_NO_SIZE, out, size);
}

static void trv_pointer_image(const void *value, char *out, size_t size)
{
    if (value == NULL) {
        snprintf(out, size, "NIL");
    } else if (value == NONIL) {
        snprintf(out, size, "NONIL");
    } else {
        snprintf(out, size, "%p", value);
    }
}

/* A NONIL reference accepts any string; a string that cannot be read is
 * only equal to the same pointer. */
static int trv_same_string(const char *left, const char *right)
{
    if ((const void *)right == NONIL) {
        return left != NULL;
    }
    if (left == NULL || right == NULL || !trv_string_readable(left) || !trv_string_readable(right)) {
        return left == right;
    }
    return strcmp(left, right) == 0;
}

/* The length of a string held in at most size characters. */
static size_t trv_bounded_length(const char *value, size_t size)
{
    size_t length = 0;
    while (length < size && value[length] != '\0') {
        ++length;
    }
    return length;
}

/* Strings held in arrays, each within its size (TRV_NO_SIZE: up to its
 * terminator). */
static int trv_same_chars(const char *left, size_t left_size, const char *right, size_t right_size)
{
    size_t length;
    if (left == NULL || right == NULL) {
        return left == right;
    }
    length = trv_bounded_length(left, left_size);
    return length == trv_bounded_length(right, right_size) && memcmp(left, right, length) == 0;
}

/* Arrays of bytes: the same over the smaller of their sizes. */
static int trv_same_bytes(const void *left, size_t left_size, const void *right, size_t right_size)
{
    if (left == NULL || right == NULL) {
        return left == right;
    }
    return memcmp(left, right, left_size < right_size ? left_size : right_size) == 0;
}

/* ---- Check lines and verdicts --------------------------------------------- */

/* The value of the array counter of the given level (1 to 20) of the check
 * that is running: the checks of a VAR loop over array levels with I1, I2... */
static long trv_level_counter(int level)
{
    switch (level) {
    case 1: return I1;
    case 2: return I2;
    case 3: return I3;
    case 4: return I4;
    case 5: return I5;
    case 6: return I6;
    case 7: return I7;
    case 8: return I8;
    case 9: return I9;
    case 10: return I10;
    case 11: return I11;
    case 12: return I12;
    case 13: return I13;
    case 14: return I14;
    case 15: return I15;
    case 16: return I16;
    case 17: return I17;
    case 18: return I18;
    case 19: return I19;
    case 20: return I20;
    default: return -1;
    }
}

/* The checked item's name as the script writes it, quoted: each "[]" of its
 * TDC text (one per array level) becomes the index the check is at. A text
 * without them but checked in a loop gets the loop's index appended. No
 * name gives "". */
static void trv_item_name(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT index, TRV_T_INT upper, char *out,
                          size_t size)
{
    const char *text = trv_construct_text(run, number, NULL);
    size_t at = 0;
    int level = 0;
    int levels = 0;
    out[0] = '\0';
    if (text == NULL || size < 3) {
        return;
    }
    out[at++] = '"';
    for (; *text != '\0' && at + 2 < size; ++text) {
        if (text[0] == '[' && text[1] == ']' && level < 20) {
            at += (size_t)snprintf(out + at, size - at, "[%ld]", trv_level_counter(++level));
            ++levels;
            ++text;
        } else {
            out[at++] = *text;
        }
        if (at + 2 >= size) {
            at = size - 2;
        }
    }
    if (levels == 0 && upper >= 0 && at + 2 < size) {
        at += (size_t)snprintf(out + at, size - at - 1, "[%d]", (int)index);
        if (at + 2 >= size) {
            at = size - 2;
        }
    }
    out[at++] = '"';
    out[at] = '\0';
}

/* "#<n> <file>:<line> "<name>"": where the check stands and what it checks. */
static void trv_item(TRV_T_RUNCTX *run, TRV_T_INT number, const char *name, char *out, size_t size)
{
    char where[TRV_K_PATH_SIZE];
    trv_where(run, number, where, sizeof where);
    if (name[0] != '\0') {
        snprintf(out, size, "%.300s %.700s", where, name);
    } else {
        snprintf(out, size, "%s", where);
    }
}

/* Records one check: inside a group it counts towards the group's verdict,
 * alone it is a verdict of its own. */
static void trv_judge(TRV_T_RUNCTX *run, TRV_T_INT number, const char *item, const char *name, int passed,
                      const char *expected, const char *actual)
{
    trv_private *state = trv_priv(run);
    trv_check_group *group = &state->group;
    if (passed) {
        ++state->values_passed;
    } else {
        ++state->values_failed;
    }
    if (!group->open) {
        if (passed) {
            char what[TRV_K_FAILURE_TEXT];
            snprintf(what, sizeof what, "expected %s actual %s", expected, actual);
            trv_pass(run, number, what);
        } else {
            trv_fail(run, number, "check failed: expected %s actual %s", expected, actual);
        }
        return;
    }
    ++group->checks;
    trv_trace(run, passed ? TRV_K_TRACE_DETAIL : TRV_K_TRACE_ERROR, "CHECK    %s expected %s actual %s %s", item,
              expected, actual, passed ? "ok" : "FAILED");
    if (!passed && group->failed++ == 0) {
        const int length = snprintf(group->first, sizeof group->first, "%s expected %s actual %s",
                                    name[0] != '\0' ? name : "\"\"", expected, actual);
        trv_mark_cut(group->first, sizeof group->first, length);
    }
}

static void trv_expect(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT index, TRV_T_INT upper, int passed,
                       const char *expected, const char *actual)
{
    char name[TRV_K_PATH_SIZE];
    char item[TRV_K_PATH_SIZE];
    trv_item_name(run, number, index, upper, name, sizeof name);
    trv_item(run, number, name, item, sizeof item);
    trv_judge(run, number, item, name, passed, expected, actual);
}

/* A field of a received message against its reference: a difference makes
 * the message not match, which the WAITTIL conditions judge. */
static void trv_compare(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT index, TRV_T_INT upper, int same,
                        const char *reference, const char *received)
{
    char name[TRV_K_PATH_SIZE];
    char item[TRV_K_PATH_SIZE];
    trv_private *state = trv_priv(run);
    trv_item_name(run, number, index, upper, name, sizeof name);
    trv_item(run, number, name, item, sizeof item);
    if (!same && !state->compare_differs) {
        snprintf(state->difference, sizeof state->difference, "%.100s reference %.60s received %.60s", item,
                 reference, received);
    }
    if (!same) {
        state->compare_differs = 1;
    }
    trv_trace(run, TRV_K_TRACE_DETAIL, "COMPARE  %s reference %s received %s %s", item, reference, received,
              same ? "same" : "differs");
}

static void trv_dump(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT index, TRV_T_INT upper, const char *value)
{
    char name[TRV_K_PATH_SIZE];
    char item[TRV_K_PATH_SIZE];
    trv_item_name(run, number, index, upper, name, sizeof name);
    trv_item(run, number, name, item, sizeof item);
    trv_trace(run, TRV_K_TRACE_DETAIL, "DUMP     %s = %s", item, value);
}

/* Opens the group with its trace line: the kind word and the statement. */
static void trv_group_open(TRV_T_RUNCTX *run, TRV_T_INT number, const char *kind)
{
    trv_check_group *group = &trv_priv(run)->group;
    char where[TRV_K_PATH_SIZE];
    trv_where(run, number, where, sizeof where);
    trv_trace(run, TRV_K_TRACE_DETAIL, "%-8s %s \"%s\"", kind, where, trv_construct_text(run, number, "?"));
    memset(group, 0, sizeof *group);
    group->open = 1;
    group->number = number;
    group->kind = kind;
}

/* The group's one verdict, none when it compared nothing; 1 when a check
 * failed. */
static TRV_T_INT trv_group_close(TRV_T_RUNCTX *run, TRV_T_INT number)
{
    trv_check_group group = trv_priv(run)->group;
    memset(&trv_priv(run)->group, 0, sizeof group);
    if (!group.open) {
        trv_fail(run, number, "end of checks without their beginning");
        return 1;
    }
    if (group.failed > 0) {
        trv_fail(run, group.number, "%s: %ld of %ld values failed, first %s", group.kind, group.failed,
                 group.checks, group.first);
        return 1;
    }
    if (group.checks == 0) {
        /* A call that compares nothing is no check: its CALL line says it ran. */
        return 0;
    }
    {
        char what[64];
        snprintf(what, sizeof what, "%s: %ld values passed", group.kind, group.checks);
        trv_pass(run, group.number, what);
    }
    return 0;
}

/* ---- Sequences ----------------------------------------------------------------- */

void trv_var_va(TRV_T_RUNCTX *run, TRV_T_INT number)
{
    trv_note_construct(run, number, "VAR", 0);
    trv_group_open(run, number, "VAR");
}

TRV_T_INT trv_end_var_va(TRV_T_RUNCTX *run, TRV_T_INT end_number)
{
    trv_priv(run)->running_done = 1;
    return trv_group_close(run, end_number);
}

void trv_bcf(TRV_T_RUNCTX *run, TRV_T_INT number)
{
    trv_note_construct(run, number, "CALL", 0);
    trv_group_open(run, number, "CALL");
}

TRV_T_INT trv_cf(TRV_T_RUNCTX *run, TRV_T_INT number)
{
    trv_priv(run)->running_done = 1;
    return trv_group_close(run, number);
}

void trv_var(TRV_T_RUNCTX *run, TRV_T_INT number)
{
    trv_private *state = trv_priv(run);
    char where[TRV_K_PATH_SIZE];
    trv_where(run, number, where, sizeof where);
    state->dump_open = !state->dump_open;
    if (state->dump_open) {
        trv_trace(run, TRV_K_TRACE_DETAIL, "DUMP     %s begin \"%s\"", where, trv_construct_text(run, number, "?"));
    } else {
        trv_trace(run, TRV_K_TRACE_DETAIL, "DUMP     %s end", where);
    }
}

/* Arrays and structures open and close around their members; only index
 * ranges say something the member lines do not. */
void trv_vartab(TRV_T_RUNCTX *run, TRV_T_INT number)
{
    (void)trv_priv(run);
    (void)number;
}

void trv_varstruct(TRV_T_RUNCTX *run, TRV_T_INT number)
{
    (void)trv_priv(run);
    (void)number;
}

void trv_varplage(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT lower, TRV_T_INT upper)
{
    char where[TRV_K_PATH_SIZE];
    if (lower < 0 && upper < 0) {
        return;
    }
    trv_where(run, number, where, sizeof where);
    trv_trace(run, TRV_K_TRACE_DETAIL, "VAR      %s indexes %d to %d", where, (int)lower, (int)upper);
}

void trv_varreset(TRV_T_RUNCTX *run)
{
    (void)trv_priv(run);
}

void trv_setflagrt(TRV_T_RUNCTX *run)
{
    trv_private *state = trv_priv(run);
    if (state->compare_open) {
        state->compare_differs = 1;
        trv_trace(run, TRV_K_TRACE_DETAIL, "COMPARE  union alternative differs");
    } else {
        trv_judge(run, state->group.number, "union", "\"union\"", 0, "the selected alternative", "another one");
    }
}

TRV_T_INT trv_cmp(TRV_T_RUNCTX *run)
{
    trv_private *state = trv_priv(run);
    if (!state->compare_open) {
        state->compare_open = 1;
        state->compare_differs = 0;
        return 1;
    }
    state->compare_open = 0;
    return state->compare_differs ? 0 : 1;
}

/* ---- Check families --------------------------------------------------------------
 * One definition per family and mode; IMAGE(value, out) writes a value. */

#define TRV_INT_IMAGE(value, out) trv_int_image((value), base, (out), sizeof(out))
#define TRV_LONG_IMAGE(value, out) trv_long_image((value), base, (out), sizeof(out))
#define TRV_UNSIGNED_IMAGE(value, out) trv_unsigned_image((unsigned long)(value), base, (out), sizeof(out))
#define TRV_BYTE_IMAGE(value, out) trv_byte_image((value), base, (out), sizeof(out))
#define TRV_CHAR_IMAGE(value, out) ((void)base, trv_char_image((value), (out), sizeof(out)))
#define TRV_FLOAT_IMAGE(value, out) snprintf((out), sizeof(out), "%.9g", (double)(value))
#define TRV_DOUBLE_IMAGE(value, out) snprintf((out), sizeof(out), "%.17g", (double)(value))
#define TRV_STRING_IMAGE(value, out) trv_string_image((value), (out), sizeof(out))
#define TRV_POINTER_IMAGE(value, out) trv_pointer_image((value), (out), sizeof(out))

#define TRV_EQUAL(a, b) ((a) == (b))
#define TRV_STRING_EQUAL(a, b) trv_same_string((a), (b))
/* NONIL expects any pointer but the null one. */
#define TRV_NONIL_EQUAL(a, b) ((b) == NONIL ? (a) != NULL : (a) == (b))

/* A parameter or result of a native call: judged only when an expected
 * value is given, traced always. */
static void trv_parameter(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT has_expected, int passed,
                          const char *initial, const char *expected, const char *actual)
{
    char name[TRV_K_PATH_SIZE];
    char item[TRV_K_PATH_SIZE];
    trv_item_name(run, number, 0, -1, name, sizeof name);
    trv_item(run, number, name, item, sizeof item);
    if (!has_expected) {
        trv_trace(run, TRV_K_TRACE_DETAIL, "PARAM    %s initial %s actual %s", item, initial, actual);
        return;
    }
    trv_judge(run, number, item, name, passed, expected, actual);
}

/* The bodies of a family's modes; BASE_ARGUMENT is ", TRV_T_INT base" for
 * the families written in a base of their format, and the compare mode and
 * native calls write them in decimal. */
#define TRV_FAMILY(name, type, IMAGE, EQUAL, BASE_ARGUMENT)                                                 \
    void trv_var_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, type actual, type expected BASE_ARGUMENT,   \
                            TRV_T_INT index, TRV_T_INT upper)                                               \
    {                                                                                                       \
        trv_value_text expected_text, actual_text;                                                          \
        IMAGE(expected, expected_text);                                                                     \
        IMAGE(actual, actual_text);                                                                         \
        trv_expect(run, number, index, upper, EQUAL(actual, expected), expected_text, actual_text);         \
    }                                                                                                       \
    void trv_cmp_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, type actual, type reference,              \
                            TRV_T_INT index, TRV_T_INT upper)                                               \
    {                                                                                                       \
        trv_value_text reference_text, actual_text;                                                         \
        TRV_T_INT base = TRV_P_BASE10;                                                                      \
        (void)base;                                                                                         \
        IMAGE(reference, reference_text);                                                                   \
        IMAGE(actual, actual_text);                                                                         \
        trv_compare(run, number, index, upper, EQUAL(actual, reference), reference_text, actual_text);      \
    }                                                                                                       \
    void trv_dmp_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, type value BASE_ARGUMENT, TRV_T_INT index, \
                            TRV_T_INT upper)                                                                \
    {                                                                                                       \
        trv_value_text text;                                                                                \
        IMAGE(value, text);                                                                                 \
        trv_dump(run, number, index, upper, text);                                                          \
    }                                                                                                       \
    void trv_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT has_expected, type initial, type expected, type actual, \
                        TRV_T_INT number)                                                                   \
    {                                                                                                       \
        trv_value_text initial_text, expected_text, actual_text;                                            \
        TRV_T_INT base = TRV_P_BASE10;                                                                      \
        (void)base;                                                                                         \
        IMAGE(initial, initial_text);                                                                       \
        IMAGE(expected, expected_text);                                                                     \
        IMAGE(actual, actual_text);                                                                         \
        trv_parameter(run, number, has_expected, EQUAL(actual, expected), initial_text, expected_text,      \
                      actual_text);                                                                         \
    }
#define TRV_WITH_BASE , TRV_T_INT base
#define TRV_NO_BASE

TRV_FAMILY(int, TRV_T_INT, TRV_INT_IMAGE, TRV_EQUAL, TRV_WITH_BASE)
TRV_FAMILY(uint, TRV_T_UINT, TRV_UNSIGNED_IMAGE, TRV_EQUAL, TRV_WITH_BASE)
TRV_FAMILY(ulong, TRV_T_ULONG, TRV_UNSIGNED_IMAGE, TRV_EQUAL, TRV_WITH_BASE)
TRV_FAMILY(long, TRV_T_LONG, TRV_LONG_IMAGE, TRV_EQUAL, TRV_WITH_BASE)
TRV_FAMILY(byte, TRV_T_CAR, TRV_BYTE_IMAGE, TRV_EQUAL, TRV_WITH_BASE)
TRV_FAMILY(bytetab, TRV_T_CAR, TRV_BYTE_IMAGE, TRV_EQUAL, TRV_WITH_BASE)
TRV_FAMILY(char, TRV_T_CAR, TRV_CHAR_IMAGE, TRV_EQUAL, TRV_WITH_BASE)
TRV_FAMILY(float, TRV_T_REAL, TRV_FLOAT_IMAGE, TRV_EQUAL, TRV_NO_BASE)
TRV_FAMILY(double, TRV_T_DOUBLE, TRV_DOUBLE_IMAGE, TRV_EQUAL, TRV_NO_BASE)
TRV_FAMILY(string, TRV_PT_CAR, TRV_STRING_IMAGE, TRV_STRING_EQUAL, TRV_NO_BASE)
TRV_FAMILY(nonil, TRV_PT_VOID, TRV_POINTER_IMAGE, TRV_NONIL_EQUAL, TRV_NO_BASE)
TRV_FAMILY(pointer, TRV_PT_VOID, TRV_POINTER_IMAGE, TRV_NONIL_EQUAL, TRV_NO_BASE)

/* Enumeration values with the names of their enumerators. */
void trv_var_enum_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_ENUM actual, TRV_T_ENUM expected, TRV_T_INT base,
                    const TRV_T_ENUM_NAME *names, TRV_T_INT index, TRV_T_INT upper)
{
    trv_value_text expected_text, actual_text;
    trv_enum_image((long)expected, base, names, expected_text, sizeof expected_text);
    trv_enum_image((long)actual, base, names, actual_text, sizeof actual_text);
    trv_expect(run, number, index, upper, actual == expected, expected_text, actual_text);
}

void trv_cmp_enum_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_ENUM actual, TRV_T_ENUM reference,
                    const TRV_T_ENUM_NAME *names, TRV_T_INT index, TRV_T_INT upper)
{
    trv_value_text reference_text, actual_text;
    trv_enum_image((long)reference, TRV_P_BASE10, names, reference_text, sizeof reference_text);
    trv_enum_image((long)actual, TRV_P_BASE10, names, actual_text, sizeof actual_text);
    trv_compare(run, number, index, upper, actual == reference, reference_text, actual_text);
}

void trv_dmp_enum_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_ENUM value, TRV_T_INT base,
                    const TRV_T_ENUM_NAME *names, TRV_T_INT index, TRV_T_INT upper)
{
    trv_value_text text;
    trv_enum_image((long)value, base, names, text, sizeof text);
    trv_dump(run, number, index, upper, text);
}

void trv_enum_c(TRV_T_RUNCTX *run, TRV_T_INT has_expected, TRV_T_ENUM initial, TRV_T_ENUM expected,
                TRV_T_ENUM actual, const TRV_T_ENUM_NAME *names, TRV_T_INT number)
{
    trv_value_text initial_text, expected_text, actual_text;
    trv_enum_image((long)initial, TRV_P_BASE10, names, initial_text, sizeof initial_text);
    trv_enum_image((long)expected, TRV_P_BASE10, names, expected_text, sizeof expected_text);
    trv_enum_image((long)actual, TRV_P_BASE10, names, actual_text, sizeof actual_text);
    trv_parameter(run, number, has_expected, actual == expected, initial_text, expected_text, actual_text);
}

/* Arrays of characters (strings) and of bytes, read within their sizes:
 * each value comes with the size of the array that holds it. */
#define TRV_CHARS_IMAGE(value, count, out) trv_text_image((const char *)(value), (count), (out), sizeof(out))
#define TRV_BYTES_IMAGE(value, count, out) trv_buffer_image((value), (count), (out), sizeof(out))
#define TRV_CHARS_EQUAL(a, a_size, b, b_size) trv_same_chars((const char *)(a), (a_size), (const char *)(b), (b_size))
#define TRV_BYTES_EQUAL(a, a_size, b, b_size) trv_same_bytes((a), (a_size), (b), (b_size))

#define TRV_SIZED_FAMILY(name, IMAGE, EQUAL)                                                                 \
    void trv_var_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, const void *actual, size_t actual_size,     \
                            const void *expected, size_t expected_size, TRV_T_INT index, TRV_T_INT upper)   \
    {                                                                                                       \
        trv_value_text expected_text, actual_text;                                                          \
        IMAGE(expected, expected_size, expected_text);                                                      \
        IMAGE(actual, actual_size, actual_text);                                                            \
        trv_expect(run, number, index, upper, EQUAL(actual, actual_size, expected, expected_size),          \
                   expected_text, actual_text);                                                             \
    }                                                                                                       \
    void trv_cmp_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, const void *actual, size_t actual_size,     \
                            const void *reference, size_t reference_size, TRV_T_INT index, TRV_T_INT upper) \
    {                                                                                                       \
        trv_value_text reference_text, actual_text;                                                         \
        IMAGE(reference, reference_size, reference_text);                                                   \
        IMAGE(actual, actual_size, actual_text);                                                            \
        trv_compare(run, number, index, upper, EQUAL(actual, actual_size, reference, reference_size),       \
                    reference_text, actual_text);                                                           \
    }                                                                                                       \
    void trv_dmp_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, const void *value, size_t value_size,       \
                            TRV_T_INT index, TRV_T_INT upper)                                               \
    {                                                                                                       \
        trv_value_text text;                                                                                \
        IMAGE(value, value_size, text);                                                                     \
        trv_dump(run, number, index, upper, text);                                                          \
    }                                                                                                       \
    void trv_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT has_expected, const void *initial, size_t initial_size, \
                        const void *expected, size_t expected_size, const void *actual, size_t actual_size,  \
                        TRV_T_INT number)                                                                   \
    {                                                                                                       \
        trv_value_text initial_text, expected_text, actual_text;                                            \
        IMAGE(initial, initial_size, initial_text);                                                         \
        IMAGE(expected, expected_size, expected_text);                                                      \
        IMAGE(actual, actual_size, actual_text);                                                            \
        trv_parameter(run, number, has_expected, EQUAL(actual, actual_size, expected, expected_size),       \
                      initial_text, expected_text, actual_text);                                            \
    }

TRV_SIZED_FAMILY(chars, TRV_CHARS_IMAGE, TRV_CHARS_EQUAL)
TRV_SIZED_FAMILY(bytes, TRV_BYTES_IMAGE, TRV_BYTES_EQUAL)

/* ---- Ranges ------------------------------------------------------------------------ */

static void trv_range_image(int has_lower, const char *lower, int has_upper, const char *upper, char *out,
                            size_t size)
{
    snprintf(out, size, "[%s .. %s]", has_lower ? lower : "", has_upper ? upper : "");
}

/* KEY gives the value that a range compares: bytes are compared as the
 * unsigned values 0 to 255 that their images show, whatever the signedness
 * of the character type they are passed as. */
#define TRV_IN_RANGE(KEY, value)                                                                            \
    ((!has_lower || KEY(value) >= KEY(lower)) && (!has_upper || KEY(value) <= KEY(upper_value)))
#define TRV_SAME_KEY(value) (value)
#define TRV_BYTE_KEY(value) ((unsigned char)(value))

/* A value against its range; JUDGE is trv_expect or trv_compare. */
#define TRV_RANGE_BODY(IMAGE, KEY, JUDGE)                                                                   \
    {                                                                                                       \
        trv_value_text lower_text, upper_text, actual_text;                                                 \
        char range[2 * TRV_K_VALUE_TEXT + 8];                                                               \
        IMAGE(lower, lower_text);                                                                           \
        IMAGE(upper_value, upper_text);                                                                     \
        IMAGE(actual, actual_text);                                                                         \
        trv_range_image(has_lower, lower_text, has_upper, upper_text, range, sizeof range);                 \
        JUDGE(run, number, index, upper, TRV_IN_RANGE(KEY, actual), range, actual_text);                    \
    }
#define TRV_RANGE_BODY_DMP(type, IMAGE)                                                                     \
    {                                                                                                       \
        trv_value_text lower_text, upper_text;                                                              \
        char range[2 * TRV_K_VALUE_TEXT + 8];                                                               \
        IMAGE(lower, lower_text);                                                                           \
        IMAGE(upper_value, upper_text);                                                                     \
        trv_range_image(has_lower, lower_text, has_upper, upper_text, range, sizeof range);                 \
        trv_dump(run, number, index, upper, range);                                                         \
    }

/* NAMES_ARGUMENT is ", const TRV_T_ENUM_NAME *names" for enumerations. */
#define TRV_RANGE(name, type, IMAGE, KEY, BASE_ARGUMENT, NAMES_ARGUMENT)                                    \
    void trv_var_range_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, type actual, TRV_T_INT has_lower,    \
                                  type lower, TRV_T_INT has_upper,                                          \
                                  type upper_value BASE_ARGUMENT NAMES_ARGUMENT, TRV_T_INT index,           \
                                  TRV_T_INT upper)                                                          \
    TRV_RANGE_BODY(IMAGE, KEY, trv_expect)                                                                  \
    void trv_cmp_range_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, type actual, TRV_T_INT has_lower,    \
                                  type lower, TRV_T_INT has_upper, type upper_value NAMES_ARGUMENT,         \
                                  TRV_T_INT index, TRV_T_INT upper)                                         \
    {                                                                                                       \
        TRV_T_INT base = TRV_P_BASE10;                                                                      \
        (void)base;                                                                                         \
        TRV_RANGE_BODY(IMAGE, KEY, trv_compare)                                                             \
    }                                                                                                       \
    void trv_dmp_range_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT has_lower, type lower,     \
                                  TRV_T_INT has_upper, type upper_value BASE_ARGUMENT NAMES_ARGUMENT,       \
                                  TRV_T_INT index, TRV_T_INT upper)                                         \
    TRV_RANGE_BODY_DMP(type, IMAGE)
#define TRV_NO_NAMES
#define TRV_WITH_NAMES , const TRV_T_ENUM_NAME *names
#define TRV_ENUM_IMAGE(value, out) trv_enum_image((long)(value), base, names, (out), sizeof(out))

TRV_RANGE(int, TRV_T_INT, TRV_INT_IMAGE, TRV_SAME_KEY, TRV_WITH_BASE, TRV_NO_NAMES)
TRV_RANGE(uint, TRV_T_UINT, TRV_UNSIGNED_IMAGE, TRV_SAME_KEY, TRV_WITH_BASE, TRV_NO_NAMES)
TRV_RANGE(ulong, TRV_T_ULONG, TRV_UNSIGNED_IMAGE, TRV_SAME_KEY, TRV_WITH_BASE, TRV_NO_NAMES)
TRV_RANGE(enum, TRV_T_ENUM, TRV_ENUM_IMAGE, TRV_SAME_KEY, TRV_WITH_BASE, TRV_WITH_NAMES)
TRV_RANGE(byte, TRV_T_CAR, TRV_BYTE_IMAGE, TRV_BYTE_KEY, TRV_WITH_BASE, TRV_NO_NAMES)
TRV_RANGE(long, TRV_T_LONG, TRV_LONG_IMAGE, TRV_SAME_KEY, TRV_WITH_BASE, TRV_NO_NAMES)
TRV_RANGE(float, TRV_T_REAL, TRV_FLOAT_IMAGE, TRV_SAME_KEY, TRV_NO_BASE, TRV_NO_NAMES)
TRV_RANGE(double, TRV_T_DOUBLE, TRV_DOUBLE_IMAGE, TRV_SAME_KEY, TRV_NO_BASE, TRV_NO_NAMES)

/* A parameter or result of a native call against a range: always judged.
 * The bound is named upper_value as in the other ranges, for TRV_IN_RANGE. */
#define TRV_CALL_RANGE(name, type, IMAGE, KEY, NAMES_ARGUMENT)                                              \
    void trv_range_##name##_c(TRV_T_RUNCTX *run, TRV_T_INT has_lower, type lower, TRV_T_INT has_upper,      \
                              type upper_value, type actual NAMES_ARGUMENT, TRV_T_INT number)               \
    {                                                                                                       \
        trv_value_text lower_text, upper_text, actual_text;                                                 \
        char range[2 * TRV_K_VALUE_TEXT + 8];                                                               \
        TRV_T_INT base = TRV_P_BASE10;                                                                      \
        (void)base;                                                                                         \
        IMAGE(lower, lower_text);                                                                           \
        IMAGE(upper_value, upper_text);                                                                     \
        IMAGE(actual, actual_text);                                                                         \
        trv_range_image(has_lower, lower_text, has_upper, upper_text, range, sizeof range);                 \
        trv_parameter(run, number, 1, TRV_IN_RANGE(KEY, actual), "", range, actual_text);                   \
    }

TRV_CALL_RANGE(int, TRV_T_INT, TRV_INT_IMAGE, TRV_SAME_KEY, TRV_NO_NAMES)
TRV_CALL_RANGE(uint, TRV_T_UINT, TRV_UNSIGNED_IMAGE, TRV_SAME_KEY, TRV_NO_NAMES)
TRV_CALL_RANGE(ulong, TRV_T_ULONG, TRV_UNSIGNED_IMAGE, TRV_SAME_KEY, TRV_NO_NAMES)
TRV_CALL_RANGE(enum, TRV_T_ENUM, TRV_ENUM_IMAGE, TRV_SAME_KEY, TRV_WITH_NAMES)
TRV_CALL_RANGE(byte, TRV_T_CAR, TRV_BYTE_IMAGE, TRV_BYTE_KEY, TRV_NO_NAMES)
TRV_CALL_RANGE(long, TRV_T_LONG, TRV_LONG_IMAGE, TRV_SAME_KEY, TRV_NO_NAMES)
TRV_CALL_RANGE(float, TRV_T_REAL, TRV_FLOAT_IMAGE, TRV_SAME_KEY, TRV_NO_NAMES)
TRV_CALL_RANGE(double, TRV_T_DOUBLE, TRV_DOUBLE_IMAGE, TRV_SAME_KEY, TRV_NO_NAMES)
