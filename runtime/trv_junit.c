/* The JUnit XML file of a run: one testsuite, one testcase per leaf
 * scenario of the program (per leaf selected, when -SCN= or -EXSCN= chose
 * them), with its failures, or skipped when it was not selected or not
 * reached.
 *
 * Only async-signal-safe calls (open, write, close, rename, unlink,
 * getpid, clock_gettime) and texts put together by hand, so that the guard
 * writes the same file for a run that a signal or the time limit stops. */
#define _GNU_SOURCE
#include "trv_select.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

typedef struct trv_s_xml_out {
    int fd;
    int error; /* errno of the first failed write */
    size_t length;
    char buffer[4096];
} trv_xml_out;

/* ---- Output ------------------------------------------------------------------------- */

static void trv_xml_flush(trv_xml_out *out)
{
    size_t done = 0;
    while (done < out->length && out->error == 0) {
        ssize_t written = write(out->fd, out->buffer + done, out->length - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            out->error = written < 0 ? errno : EIO;
            break;
        }
        done += (size_t)written;
    }
    out->length = 0;
}

static void trv_xml_byte(trv_xml_out *out, char c)
{
    if (out->length == sizeof out->buffer) {
        trv_xml_flush(out);
    }
    out->buffer[out->length++] = c;
}

static void trv_xml_raw(trv_xml_out *out, const char *text)
{
    while (*text != '\0') {
        trv_xml_byte(out, *text++);
    }
}

static void trv_xml_number(trv_xml_out *out, long long value)
{
    char digits[24];
    int count = 0;
    unsigned long long magnitude = value < 0 ? 0ull - (unsigned long long)value : (unsigned long long)value;
    if (value < 0) {
        trv_xml_byte(out, '-');
    }
    do {
        digits[count++] = (char)('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    while (count > 0) {
        trv_xml_byte(out, digits[--count]);
    }
}

/* Seconds with three decimals. */
static void trv_xml_seconds(trv_xml_out *out, long long nanoseconds)
{
    long long milliseconds = nanoseconds < 0 ? 0 : nanoseconds / 1000000;
    trv_xml_number(out, milliseconds / 1000);
    trv_xml_byte(out, '.');
    trv_xml_byte(out, (char)('0' + milliseconds / 100 % 10));
    trv_xml_byte(out, (char)('0' + milliseconds / 10 % 10));
    trv_xml_byte(out, (char)('0' + milliseconds % 10));
}

/* The length of the well-formed UTF-8 sequence at p of a character that
 * XML allows, or 0. */
static int trv_utf8_length(const unsigned char *p)
{
    unsigned long code;
    unsigned long least;
    int length;
    int i;
    if (p[0] < 0x80) {
        return 1;
    }
    if (p[0] >= 0xC2 && p[0] <= 0xDF) {
        length = 2, code = p[0] & 0x1Fu, least = 0x80;
    } else if (p[0] >= 0xE0 && p[0] <= 0xEF) {
        length = 3, code = p[0] & 0x0Fu, least = 0x800;
    } else if (p[0] >= 0xF0 && p[0] <= 0xF4) {
        length = 4, code = p[0] & 0x07u, least = 0x10000;
    } else {
        return 0;
    }
    for (i = 1; i < length; ++i) {
        if ((p[i] & 0xC0u) != 0x80u) {
            return 0;
        }
        code = code << 6 | (p[i] & 0x3Fu);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) || code == 0xFFFE || code == 0xFFFF) {
        return 0;
    }
    return length;
}

/* Text for an attribute or an element: markup characters as entities, line
 * ends and tabs as character references, and what XML cannot hold (other
 * control characters, bytes that are no UTF-8) as the visible text \xNN. */
static void trv_xml_text(trv_xml_out *out, const char *text)
{
    static const char hex[] = "0123456789ABCDEF";
    const unsigned char *p = (const unsigned char *)(text != NULL ? text : "");
    while (*p != '\0') {
        int length;
        switch (*p) {
        case '&': trv_xml_raw(out, "&amp;"); ++p; continue;
        case '<': trv_xml_raw(out, "&lt;"); ++p; continue;
        case '>': trv_xml_raw(out, "&gt;"); ++p; continue;
        case '"': trv_xml_raw(out, "&quot;"); ++p; continue;
        case '\'': trv_xml_raw(out, "&apos;"); ++p; continue;
        case '\n': trv_xml_raw(out, "&#10;"); ++p; continue;
        case '\r': trv_xml_raw(out, "&#13;"); ++p; continue;
        case '\t': trv_xml_raw(out, "&#9;"); ++p; continue;
        default: break;
        }
        length = *p < 0x20 || *p == 0x7F ? 0 : trv_utf8_length(p);
        if (length == 0) {
            trv_xml_raw(out, "\\x");
            trv_xml_byte(out, hex[*p >> 4]);
            trv_xml_byte(out, hex[*p & 0x0F]);
            ++p;
            continue;
        }
        while (length-- > 0) {
            trv_xml_byte(out, (char)*p++);
        }
    }
}

/* name="text" with a blank before it. */
static void trv_xml_attribute(trv_xml_out *out, const char *name, const char *text)
{
    trv_xml_byte(out, ' ');
    trv_xml_raw(out, name);
    trv_xml_raw(out, "=\"");
    trv_xml_text(out, text);
    trv_xml_byte(out, '"');
}

static void trv_xml_count(trv_xml_out *out, const char *name, long long value)
{
    trv_xml_byte(out, ' ');
    trv_xml_raw(out, name);
    trv_xml_raw(out, "=\"");
    trv_xml_number(out, value);
    trv_xml_byte(out, '"');
}

static void trv_xml_time(trv_xml_out *out, long long nanoseconds)
{
    trv_xml_raw(out, " time=\"");
    trv_xml_seconds(out, nanoseconds);
    trv_xml_byte(out, '"');
}

/* ---- Outcomes ----------------------------------------------------------------------- */

typedef struct trv_s_report {
    const trv_private *state;
    const trv_selection *selection;
    const char *verdict; /* of a stopped run, charged to selection->current */
    struct timespec now;
} trv_report;

enum { TRV_PASSED, TRV_FAILED, TRV_NOT_SELECTED, TRV_NOT_REACHED };

/* The failures of scenario go to leaf: it is the leaf itself, or a
 * scenario around it (the blocks of its level ran for it). The root's are
 * the run's own. */
static int trv_charged_to(const trv_selection *selection, int scenario, int leaf)
{
    int k = leaf;
    if (scenario <= 0) {
        return 0;
    }
    while (k > 0) {
        int parent = selection->table[k].trv_parent;
        if (k == scenario) {
            return 1;
        }
        if (parent >= k) {
            return 0;
        }
        k = parent;
    }
    return 0;
}

/* Whether any failure is charged to leaf (0 for the run's own). */
static int trv_has_failures(const trv_report *report, int leaf)
{
    const trv_selection *selection = report->selection;
    int i;
    int k;
    if (report->verdict != NULL && (leaf == 0 ? selection->current <= 0 : trv_charged_to(selection, selection->current, leaf))) {
        return 1;
    }
    for (i = 0; i < selection->noted_count; ++i) {
        int scenario = selection->noted[i].scenario;
        if (leaf == 0 ? scenario <= 0 : trv_charged_to(selection, scenario, leaf)) {
            return 1;
        }
    }
    for (k = leaf; k >= 0 && k < selection->count; k = selection->table[k].trv_parent) {
        if (selection->results[k].unlisted > 0 && (k > 0 || leaf == 0)) {
            return 1;
        }
        if (k == 0 || selection->table[k].trv_parent >= k) {
            break;
        }
    }
    return 0;
}

static int trv_outcome(const trv_report *report, int leaf)
{
    const trv_scenario_result *result = &report->selection->results[leaf];
    if (!result->runs) {
        return TRV_NOT_SELECTED;
    }
    if (result->state != 0 || trv_has_failures(report, leaf)) {
        return TRV_FAILED;
    }
    return result->started > 0 ? TRV_PASSED : TRV_NOT_REACHED;
}

static long long trv_elapsed_ns(const struct timespec *earlier, const struct timespec *later)
{
    return (long long)(later->tv_sec - earlier->tv_sec) * 1000000000LL + (later->tv_nsec - earlier->tv_nsec);
}

static long long trv_leaf_time(const trv_report *report, int leaf)
{
    const trv_scenario_result *result = &report->selection->results[leaf];
    return result->elapsed_ns + (result->open ? trv_elapsed_ns(&result->begun, &report->now) : 0);
}

/* ---- Elements ----------------------------------------------------------------------- */

static void trv_xml_failure(trv_xml_out *out, const char *type, const char *message, const char *position,
                            const char *scenario)
{
    trv_xml_raw(out, "      <failure");
    trv_xml_attribute(out, "message", message);
    trv_xml_attribute(out, "type", type);
    trv_xml_byte(out, '>');
    if (position != NULL && position[0] != '\0') {
        trv_xml_text(out, position);
        trv_xml_raw(out, ": ");
    }
    trv_xml_text(out, message);
    if (scenario != NULL) {
        trv_xml_raw(out, " (while the blocks of its level ran for &quot;");
        trv_xml_text(out, scenario);
        trv_xml_raw(out, "&quot;)");
    }
    trv_xml_raw(out, "</failure>\n");
}

static void trv_xml_unlisted(trv_xml_out *out, long count)
{
    trv_xml_raw(out, "      <failure message=\"");
    trv_xml_number(out, count);
    trv_xml_raw(out, " more failures not kept (a run keeps ");
    trv_xml_number(out, TRV_K_JUNIT_FAILURES);
    trv_xml_raw(out, ")\" type=\"verdict\"/>\n");
}

/* The failures charged to leaf, or the run's own for leaf 0. */
static void trv_xml_failures(trv_xml_out *out, const trv_report *report, int leaf)
{
    const trv_selection *selection = report->selection;
    int i;
    int k;
    for (i = 0; i < selection->noted_count; ++i) {
        const trv_noted_failure *noted = &selection->noted[i];
        if (leaf == 0 ? noted->scenario <= 0 : trv_charged_to(selection, noted->scenario, leaf)) {
            trv_xml_failure(out, "verdict", noted->message, noted->position,
                            noted->scenario != leaf && noted->scenario > 0 ? selection->table[noted->scenario].trv_name
                                                                          : NULL);
        }
    }
    for (k = leaf; k >= 0 && k < selection->count; k = selection->table[k].trv_parent) {
        if (selection->results[k].unlisted > 0 && (k > 0 || leaf == 0)) {
            trv_xml_unlisted(out, selection->results[k].unlisted);
        }
        if (k == 0 || selection->table[k].trv_parent >= k) {
            break;
        }
    }
    if (report->verdict != NULL &&
        (leaf == 0 ? selection->current <= 0 : trv_charged_to(selection, selection->current, leaf))) {
        trv_xml_failure(out, "stopped", report->verdict, "the run stopped", NULL);
    }
}

static void trv_xml_classname(trv_xml_out *out, const trv_report *report, int leaf)
{
    const char *families = trv_scenario_families(report->selection, leaf);
    trv_xml_raw(out, " classname=\"");
    trv_xml_text(out, report->selection->suite);
    if (families[0] != '\0') {
        char first[TRV_K_FAILURE_TEXT];
        size_t length = 0;
        while (families[length] != '\0' && families[length] != ',' && length + 1 < sizeof first) {
            first[length] = families[length];
            ++length;
        }
        first[length] = '\0';
        trv_xml_byte(out, '.');
        trv_xml_text(out, first);
    }
    trv_xml_byte(out, '"');
}

static void trv_xml_testcase(trv_xml_out *out, const trv_report *report, int leaf)
{
    const TRV_T_SCENARIO_INFO *info = &report->selection->table[leaf];
    const trv_scenario_result *result = &report->selection->results[leaf];
    int outcome = trv_outcome(report, leaf);
    trv_xml_raw(out, "    <testcase");
    trv_xml_attribute(out, "name", info->trv_name);
    trv_xml_classname(out, report, leaf);
    trv_xml_time(out, trv_leaf_time(report, leaf));
    trv_xml_attribute(out, "file", info->trv_file);
    trv_xml_count(out, "line", info->trv_line);
    if (outcome == TRV_PASSED) {
        trv_xml_raw(out, "/>\n");
        return;
    }
    trv_xml_raw(out, ">\n");
    if (outcome == TRV_NOT_SELECTED) {
        trv_xml_raw(out, "      <skipped message=\"not selected\"/>\n");
    } else if (outcome == TRV_NOT_REACHED) {
        trv_xml_raw(out, "      <skipped message=\"not reached: the run of its level ended before it\"/>\n");
    } else {
        trv_xml_failures(out, report, leaf);
        if (result->state != 0 && !trv_has_failures(report, leaf)) {
            trv_xml_raw(out, "      <failure message=\"the scenario failed (state ");
            trv_xml_number(out, result->state);
            trv_xml_raw(out, ")\" type=\"state\"/>\n");
        }
    }
    trv_xml_raw(out, "    </testcase>\n");
}

/* Failures outside every scenario make a testcase of their own. */
static void trv_xml_run_testcase(trv_xml_out *out, const trv_report *report)
{
    trv_xml_raw(out, "    <testcase name=\"(run)\"");
    trv_xml_attribute(out, "classname", report->selection->suite);
    trv_xml_time(out, trv_elapsed_ns(&report->selection->begun, &report->now));
    trv_xml_raw(out, ">\n");
    trv_xml_failures(out, report, 0);
    trv_xml_raw(out, "    </testcase>\n");
}

/* Every leaf is listed, but those a selection given at run time left out:
 * a run of one scenario reports that scenario. */
static int trv_listed(const trv_report *report, int index)
{
    const trv_selection *selection = report->selection;
    return selection->table[index].trv_leaf && (!selection->narrowed || selection->results[index].runs);
}

static void trv_xml_counts(trv_xml_out *out, const trv_report *report)
{
    const trv_selection *selection = report->selection;
    long tests = 0;
    long failures = 0;
    long skipped = 0;
    int i;
    for (i = 1; i < selection->count; ++i) {
        int outcome;
        if (!trv_listed(report, i)) {
            continue;
        }
        outcome = trv_outcome(report, i);
        ++tests;
        failures += outcome == TRV_FAILED;
        skipped += outcome == TRV_NOT_SELECTED || outcome == TRV_NOT_REACHED;
    }
    if (trv_has_failures(report, 0)) {
        ++tests;
        ++failures;
    }
    trv_xml_count(out, "tests", tests);
    trv_xml_count(out, "failures", failures);
    trv_xml_count(out, "errors", 0);
    trv_xml_count(out, "skipped", skipped);
    trv_xml_time(out, trv_elapsed_ns(&selection->begun, &report->now));
}

static void trv_xml_property(trv_xml_out *out, const char *name, const char *value)
{
    trv_xml_raw(out, "      <property");
    trv_xml_attribute(out, "name", name);
    trv_xml_attribute(out, "value", value);
    trv_xml_raw(out, "/>\n");
}

static void trv_xml_document(trv_xml_out *out, const trv_report *report)
{
    const trv_selection *selection = report->selection;
    int i;
    trv_xml_raw(out, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites");
    trv_xml_attribute(out, "name", selection->suite);
    trv_xml_counts(out, report);
    trv_xml_raw(out, ">\n  <testsuite");
    trv_xml_attribute(out, "name", selection->suite);
    trv_xml_counts(out, report);
    trv_xml_attribute(out, "timestamp", selection->timestamp);
    trv_xml_attribute(out, "hostname", selection->hostname);
    trv_xml_raw(out, ">\n    <properties>\n");
    trv_xml_property(out, "tester", report->state->tester);
    trv_xml_property(out, "trace", report->state->trace_path);
    trv_xml_raw(out, "    </properties>\n");
    for (i = 1; i < selection->count; ++i) {
        if (trv_listed(report, i)) {
            trv_xml_testcase(out, report, i);
        }
    }
    if (trv_has_failures(report, 0)) {
        trv_xml_run_testcase(out, report);
    }
    trv_xml_raw(out, "  </testsuite>\n</testsuites>\n");
}

/* ---- The file ----------------------------------------------------------------------- */

/* "<path>.<pid>.<n>.tmp" beside the file; 0 when the path is too long. */
static int trv_temporary_name(char *out, size_t size, const char *path)
{
    static int sequence;
    trv_xml_out name;
    size_t length = strlen(path);
    name.fd = -1;
    name.error = 0;
    name.length = 0;
    if (length + 48 > size || length + 48 > sizeof name.buffer) {
        return 0;
    }
    trv_xml_raw(&name, path);
    trv_xml_byte(&name, '.');
    trv_xml_number(&name, (long long)getpid());
    trv_xml_byte(&name, '.');
    trv_xml_number(&name, __atomic_add_fetch(&sequence, 1, __ATOMIC_SEQ_CST));
    trv_xml_raw(&name, ".tmp");
    memcpy(out, name.buffer, name.length);
    out[name.length] = '\0';
    return 1;
}

int trv_junit_write(const trv_private *state, const char *verdict)
{
    trv_report report;
    trv_xml_out out;
    char temporary[TRV_K_PATH_SIZE + 64];
    int error;
    if (state == NULL || state->selection == NULL || state->selection->junit_path[0] == '\0') {
        return 0;
    }
    if (!trv_temporary_name(temporary, sizeof temporary, state->selection->junit_path)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    out.fd = open(temporary, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out.fd < 0) {
        return -1;
    }
    out.error = 0;
    out.length = 0;
    report.state = state;
    report.selection = state->selection;
    report.verdict = verdict;
    clock_gettime(CLOCK_MONOTONIC, &report.now);
    trv_xml_document(&out, &report);
    trv_xml_flush(&out);
    error = out.error;
    if (close(out.fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && rename(temporary, state->selection->junit_path) != 0) {
        error = errno;
    }
    if (error != 0) {
        unlink(temporary);
        errno = error;
        return -1;
    }
    return 0;
}
