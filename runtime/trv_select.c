/* Run-time scenario selection (-SCN=, -EXSCN=, -LIST) over the scenario
 * table of the generated program, and the bookkeeping of each scenario's
 * result for the JUnit file (-JUNIT=, QVM_JUNIT_FILE).
 *
 * A scenario name matches as in qvmprepro's options: a -SCN= name selects
 * that scenario, its ancestors and its descendants; an -EXSCN= name leaves
 * out that scenario and its descendants. A scenario of sub-scenarios runs
 * when one of its leaves does. */
#define _GNU_SOURCE
#include "trv_select.h"

#include <errno.h>
#include <strings.h>
#include <unistd.h>

/* ---- Options ------------------------------------------------------------------------ */

typedef struct trv_s_name_list {
    char **names;
    int count;
} trv_name_list;

typedef struct trv_s_selection_options {
    trv_name_list chosen;   /* -SCN= */
    trv_name_list excluded; /* -EXSCN= */
    const char *junit;      /* -JUNIT=, or null */
    int list;               /* -LIST */
} trv_selection_options;

static void trv_names_free(trv_name_list *list)
{
    int i;
    for (i = 0; i < list->count; ++i) {
        free(list->names[i]);
    }
    free(list->names);
    list->names = NULL;
    list->count = 0;
}

static void trv_options_free(trv_selection_options *options)
{
    trv_names_free(&options->chosen);
    trv_names_free(&options->excluded);
}

static void trv_out_of_memory(void)
{
    fprintf(stderr, "qvm runtime: out of memory\n");
    trv_leave(1);
}

/* Appends the piece with each "\," turned into ",". */
static void trv_names_add(trv_name_list *list, const char *piece, size_t length)
{
    char *name = malloc(length + 1);
    char **names = realloc(list->names, sizeof *names * (size_t)(list->count + 1));
    size_t from;
    size_t to = 0;
    if (name == NULL || names == NULL) {
        trv_out_of_memory();
    }
    for (from = 0; from < length; ++from) {
        if (piece[from] == '\\' && from + 1 < length && piece[from + 1] == ',') {
            ++from;
        }
        name[to++] = piece[from];
    }
    name[to] = '\0';
    list->names = names;
    list->names[list->count++] = name;
}

/* Splits the value at each comma not preceded by a backslash; an empty
 * piece is a mistake. */
static int trv_names_split(trv_name_list *list, const char *option, const char *value, char *problem, size_t size)
{
    const char *piece = value;
    const char *at = value;
    for (;; ++at) {
        if (*at == '\\' && at[1] == ',') {
            ++at;
            continue;
        }
        if (*at != ',' && *at != '\0') {
            continue;
        }
        if (at == piece) {
            snprintf(problem, size, "%s needs a scenario name before and after each comma", option);
            return 0;
        }
        trv_names_add(list, piece, (size_t)(at - piece));
        if (*at == '\0') {
            return 1;
        }
        piece = at + 1;
    }
}

/* The text after "-<name>=" when the argument is that option (the option's
 * name in any case), else null. */
static const char *trv_option_value(const char *argument, const char *name)
{
    size_t length = strlen(name);
    if (argument[0] != '-' || strncasecmp(argument + 1, name, length) != 0 || argument[length + 1] != '=') {
        return NULL;
    }
    return argument + length + 2;
}

static int trv_read_options(TRV_T_INT argc, TRV_PT_CAR const *argv, trv_selection_options *options, char *problem,
                            size_t size)
{
    int i;
    memset(options, 0, sizeof *options);
    problem[0] = '\0';
    for (i = 1; argv != NULL && i < argc; ++i) {
        const char *argument = argv[i];
        const char *value;
        if (argument == NULL) {
            continue;
        }
        if (strcasecmp(argument, "-LIST") == 0) {
            options->list = 1;
        } else if ((value = trv_option_value(argument, "SCN")) != NULL) {
            if (!trv_names_split(&options->chosen, "-SCN=", value, problem, size)) {
                return 0;
            }
        } else if ((value = trv_option_value(argument, "EXSCN")) != NULL) {
            if (!trv_names_split(&options->excluded, "-EXSCN=", value, problem, size)) {
                return 0;
            }
        } else if ((value = trv_option_value(argument, "JUNIT")) != NULL) {
            if (value[0] == '\0') {
                snprintf(problem, size, "-JUNIT= needs a file name");
                return 0;
            }
            options->junit = value;
        }
    }
    if (options->chosen.count > 0 && options->excluded.count > 0) {
        snprintf(problem, size, "-SCN= and -EXSCN= cannot be used together");
        return 0;
    }
    return 1;
}

/* ---- Matching ----------------------------------------------------------------------- */

/* s and q agree up to the shorter of them, where the longer one ends or
 * goes on with '.': s names q, one of its ancestors or descendants. */
static int trv_names_agree(const char *s, const char *q)
{
    size_t ls = strlen(s);
    size_t lq = strlen(q);
    size_t common = ls < lq ? ls : lq;
    const char *longer = ls > lq ? s : q;
    return strncmp(s, q, common) == 0 && (longer[common] == '\0' || longer[common] == '.');
}

/* e is q or one of its ancestors. */
static int trv_name_covers(const char *e, const char *q)
{
    size_t le = strlen(e);
    return strncmp(q, e, le) == 0 && (q[le] == '\0' || q[le] == '.');
}

static int trv_selected_by_name(const char *qualified, const trv_selection_options *options)
{
    int i;
    if (qualified[0] == '\0') {
        return 1;
    }
    if (options->chosen.count > 0) {
        for (i = 0; i < options->chosen.count; ++i) {
            if (trv_names_agree(options->chosen.names[i], qualified)) {
                return 1;
            }
        }
        return 0;
    }
    for (i = 0; i < options->excluded.count; ++i) {
        if (trv_name_covers(options->excluded.names[i], qualified)) {
            return 0;
        }
    }
    return 1;
}

/* Every name given must be one of the program's scenarios: a mistyped
 * name would otherwise select or leave out something else quietly. */
static int trv_names_known(const trv_name_list *list, const char *option, const TRV_T_SCENARIO_INFO *table,
                           int count, char *problem, size_t size)
{
    int i;
    int k;
    for (i = 0; i < list->count; ++i) {
        for (k = 1; k < count && strcmp(table[k].trv_name, list->names[i]) != 0; ++k) {
        }
        if (k >= count) {
            snprintf(problem, size, "%s%s: the program has no scenario of that name (see -LIST)", option,
                     list->names[i]);
            return 0;
        }
    }
    return 1;
}

/* Fills selected and runs of each scenario; false when nothing runs. */
static int trv_select(const TRV_T_SCENARIO_INFO *table, int count, const trv_selection_options *options,
                      trv_scenario_result *results)
{
    int i;
    for (i = 0; i < count; ++i) {
        results[i].selected = trv_selected_by_name(table[i].trv_name, options);
        results[i].runs = table[i].trv_leaf && results[i].selected;
    }
    /* Each scenario comes after the one that holds it. */
    for (i = count - 1; i > 0; --i) {
        int parent = table[i].trv_parent;
        if (results[i].runs && parent >= 0 && parent < i) {
            results[parent].runs = 1;
        }
    }
    return count > 0 && results[0].runs;
}

/* Reads and checks the options, and selects; a problem is described in
 * problem. results may be null (a check only). */
static int trv_prepare(TRV_T_INT argc, TRV_PT_CAR const *argv, const TRV_T_SCENARIO_INFO *table, int count,
                       trv_selection_options *options, trv_scenario_result *results, char *problem, size_t size)
{
    trv_scenario_result *own = results;
    int ok;
    if (!trv_read_options(argc, argv, options, problem, size) ||
        !trv_names_known(&options->chosen, "-SCN=", table, count, problem, size) ||
        !trv_names_known(&options->excluded, "-EXSCN=", table, count, problem, size)) {
        return 0;
    }
    if (own == NULL && (own = calloc((size_t)count + 1, sizeof *own)) == NULL) {
        trv_out_of_memory();
    }
    ok = trv_select(table, count, options, own);
    if (own != results) {
        free(own);
    }
    if (!ok) {
        snprintf(problem, size, "no scenario of the program is left to run by -EXSCN=");
    }
    return ok;
}

/* ---- Listing ------------------------------------------------------------------------ */

static const char *trv_table_families(const TRV_T_SCENARIO_INFO *table, int count, int index)
{
    while (index >= 0 && index < count) {
        if (table[index].trv_families != NULL && table[index].trv_families[0] != '\0') {
            return table[index].trv_families;
        }
        index = table[index].trv_parent;
    }
    return "";
}

const char *trv_scenario_families(const trv_selection *selection, int index)
{
    return trv_table_families(selection->table, selection->count, index);
}

/* One line per scenario that would run: name, kind, families, position. */
static void trv_list(const TRV_T_SCENARIO_INFO *table, int count, const trv_scenario_result *results)
{
    int i;
    for (i = 1; i < count; ++i) {
        const char *families = trv_table_families(table, count, i);
        if (!results[i].runs) {
            continue;
        }
        printf("%s\t%s\t%s\t%s:%d\n", table[i].trv_name, table[i].trv_leaf ? "leaf" : "group",
               families[0] != '\0' ? families : "-", table[i].trv_file, (int)table[i].trv_line);
    }
    fflush(stdout);
}

void trv_scenario_options(TRV_T_INT argc, TRV_PT_CAR const *argv, const TRV_T_SCENARIO_INFO *table, TRV_T_INT count)
{
    trv_selection_options options;
    char problem[TRV_K_FAILURE_TEXT * 2];
    trv_scenario_result *results = calloc((size_t)count + 1, sizeof *results);
    int ok;
    if (results == NULL) {
        trv_out_of_memory();
    }
    ok = trv_prepare(argc, argv, table, (int)count, &options, results, problem, sizeof problem);
    if (ok && options.list) {
        trv_list(table, (int)count, results);
    }
    trv_options_free(&options);
    free(results);
    if (!ok) {
        fprintf(stderr, "qvm run: %s\n", problem);
        trv_leave(TRV_K_STATUS_USAGE);
    }
    if (options.list) {
        trv_leave(TRV_K_STATUS_PASSED);
    }
}

/* ---- The run's selection ------------------------------------------------------------ */

/* The script's name without its directory and extension. */
static void trv_suite_name(char *out, size_t size, const char *file)
{
    const char *base = file;
    const char *at;
    char *dot;
    for (at = file; *at != '\0'; ++at) {
        if (*at == '/' || *at == '\\') {
            base = at + 1;
        }
    }
    trv_bounded_copy(out, size, base[0] != '\0' ? base : "script");
    dot = strrchr(out, '.');
    if (dot != NULL && dot != out) {
        *dot = '\0';
    }
}

static void trv_start_clock(trv_selection *selection)
{
    time_t now = time(NULL);
    struct tm local;
    clock_gettime(CLOCK_MONOTONIC, &selection->begun);
    if (localtime_r(&now, &local) == NULL ||
        strftime(selection->timestamp, sizeof selection->timestamp, "%Y-%m-%dT%H:%M:%S", &local) == 0) {
        trv_bounded_copy(selection->timestamp, sizeof selection->timestamp, "1970-01-01T00:00:00");
    }
    if (gethostname(selection->hostname, sizeof selection->hostname - 1) != 0 || selection->hostname[0] == '\0') {
        trv_bounded_copy(selection->hostname, sizeof selection->hostname, "localhost");
    }
    selection->hostname[sizeof selection->hostname - 1] = '\0';
}

void trv_scenario_table(TRV_T_RUNCTX *run, TRV_T_INT argc, TRV_PT_CAR const *argv,
                        const TRV_T_SCENARIO_INFO *table, TRV_T_INT count)
{
    trv_private *state = trv_priv(run);
    trv_selection_options options;
    char problem[TRV_K_FAILURE_TEXT * 2];
    const char *junit;
    trv_selection *selection;
    if (count < 1 || state->selection != NULL) {
        return;
    }
    selection = calloc(1, sizeof *selection);
    if (selection == NULL || (selection->results = calloc((size_t)count, sizeof *selection->results)) == NULL) {
        trv_out_of_memory();
    }
    selection->table = table;
    selection->count = (int)count;
    if (!trv_prepare(argc, argv, table, (int)count, &options, selection->results, problem, sizeof problem)) {
        /* trv_scenario_options refused it before; a thread entry has no options. */
        fprintf(stderr, "qvm run: %s: every scenario runs\n", problem);
        trv_options_free(&options);
        memset(&options, 0, sizeof options);
        trv_select(table, (int)count, &options, selection->results);
    }
    selection->narrowed = options.chosen.count > 0 || options.excluded.count > 0;
    junit = options.junit != NULL ? options.junit : getenv("QVM_JUNIT_FILE");
    trv_bounded_copy(selection->junit_path, sizeof selection->junit_path, junit != NULL ? junit : "");
    trv_options_free(&options);
    trv_suite_name(selection->suite, sizeof selection->suite, table[0].trv_file != NULL ? table[0].trv_file : "");
    trv_start_clock(selection);
    state->selection = selection;
}

/* The table index of the scenario of that begin (or end) number, or -1;
 * the scenario running and the next one are looked at first. */
static int trv_scenario_index(const trv_selection *selection, TRV_T_INT number, int end)
{
    int guesses[2];
    int i;
    guesses[0] = selection->current;
    guesses[1] = selection->current + 1;
    for (i = 0; i < 2; ++i) {
        int k = guesses[i];
        if (k >= 0 && k < selection->count &&
            (end ? selection->table[k].trv_end_number : selection->table[k].trv_number) == number) {
            return k;
        }
    }
    for (i = 0; i < selection->count; ++i) {
        if ((end ? selection->table[i].trv_end_number : selection->table[i].trv_number) == number) {
            return i;
        }
    }
    return -1;
}

TRV_T_INT trv_scenario_selected(TRV_T_RUNCTX *run, TRV_T_INT number)
{
    trv_private *state = trv_priv(run);
    trv_selection *selection = state->selection;
    char where[TRV_K_PATH_SIZE];
    int index;
    if (selection == NULL || (index = trv_scenario_index(selection, number, 0)) < 0) {
        return 1;
    }
    if (selection->results[index].runs) {
        selection->current = index;
        return 1;
    }
    trv_where(run, number, where, sizeof where);
    trv_trace(run, TRV_K_TRACE_SCN, "SCENARIO %s skipped \"%s\" (not selected)", where,
              selection->table[index].trv_name);
    return 0;
}

void trv_selection_begin(TRV_T_RUNCTX *run, TRV_T_INT number)
{
    trv_selection *selection = trv_priv(run)->selection;
    int index;
    if (selection == NULL || (index = trv_scenario_index(selection, number, 0)) < 0) {
        return;
    }
    selection->current = index;
    selection->results[index].open = 1;
    ++selection->results[index].started;
    clock_gettime(CLOCK_MONOTONIC, &selection->results[index].begun);
}

void trv_selection_end(TRV_T_RUNCTX *run, TRV_T_INT end_number, TRV_T_INT state)
{
    trv_selection *selection = trv_priv(run)->selection;
    trv_scenario_result *result;
    struct timespec now;
    int index;
    if (selection == NULL || (index = trv_scenario_index(selection, end_number, 1)) < 0) {
        return;
    }
    result = &selection->results[index];
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (result->open) {
        result->elapsed_ns += (long long)(now.tv_sec - result->begun.tv_sec) * 1000000000LL +
                              (now.tv_nsec - result->begun.tv_nsec);
    }
    result->open = 0;
    if (state != 0) {
        result->state = (int)state;
    }
    /* Its level's TERMINATION or EXCEPTION block runs for it next. */
    selection->current = index;
}

void trv_selection_note_failure(TRV_T_RUNCTX *run, TRV_T_INT number, const char *message)
{
    trv_private *state = trv_priv(run);
    trv_selection *selection = state->selection;
    trv_noted_failure *noted;
    const trv_construct *record;
    if (selection == NULL) {
        return;
    }
    ++selection->results[selection->current].failures;
    if (selection->noted_count >= TRV_K_JUNIT_FAILURES) {
        ++selection->results[selection->current].unlisted;
        return;
    }
    noted = &selection->noted[selection->noted_count];
    noted->scenario = selection->current;
    noted->position[0] = '\0';
    record = number >= 0 ? trv_tdc_find(&state->tdc, (int)number) : NULL;
    if (record != NULL && record->file >= 1 && record->file <= state->tdc.file_count) {
        snprintf(noted->position, sizeof noted->position, "%s:%d", state->tdc.files[record->file - 1], record->line);
    }
    trv_bounded_copy(noted->message, sizeof noted->message, message);
    /* Counted once complete: a signal handler that writes the file reads
     * only the failures counted. */
    __atomic_store_n(&selection->noted_count, selection->noted_count + 1, __ATOMIC_SEQ_CST);
}

void trv_selection_finish(TRV_T_RUNCTX *run)
{
    trv_private *state = trv_priv(run);
    trv_selection *selection = state->selection;
    if (selection == NULL) {
        return;
    }
    if (selection->junit_path[0] != '\0') {
        if (trv_junit_write(state, NULL) != 0) {
            fprintf(stderr, "qvm run %s: the JUnit file %s cannot be written (%s)\n", state->tester,
                    selection->junit_path, strerror(errno));
            trv_mark_trace_lost();
        } else if (!state->quiet) {
            fprintf(stdout, "qvm run %s: JUnit results in %s\n", state->tester, selection->junit_path);
        }
    }
    state->selection = NULL;
    free(selection->results);
    free(selection);
}
