/* Reader of the TDC file of the program's generation: it turns the
 * construct numbers passed to the runtime back into script texts and
 * positions, so that the trace can say where a verdict comes from. */
#define _GNU_SOURCE
#include "trv_private.h"

#include <ctype.h>
#include <unistd.h>

#define TRV_K_MAX_FIELDS 8
#define TRV_K_MAX_RECORD 10000000L /* records beyond are ignored */

typedef struct trv_s_field {
    const char *text; /* points into the line, terminated in place */
    int quoted;
} trv_field;

static char *trv_copy(const char *text)
{
    size_t length = strlen(text);
    char *copy = trv_checked_malloc(length + 1);
    memcpy(copy, text, length + 1);
    return copy;
}

/* Splits "a", "b""c", ? into fields, undoubling quotes in place. Returns the
 * number of fields; only the first two and the last TRV_K_MAX_FIELDS are
 * kept, so that the location suffix always survives. */
static int trv_split_fields(char *cursor, trv_field *fields, trv_field *first, trv_field *second)
{
    int count = 0;
    int total = 0;
    while (*cursor != '\0') {
        trv_field field;
        while (*cursor == ' ' || *cursor == ',') {
            ++cursor;
        }
        if (*cursor == '\0' || *cursor == '\n' || *cursor == '\r') {
            break;
        }
        if (*cursor == '"') {
            char *out = ++cursor;
            field.text = out;
            field.quoted = 1;
            while (*cursor != '\0') {
                if (cursor[0] == '"' && cursor[1] == '"') {
                    *out++ = '"';
                    cursor += 2;
                } else if (cursor[0] == '"') {
                    ++cursor;
                    break;
                } else {
                    *out++ = *cursor++;
                }
            }
            *out = '\0';
        } else {
            field.text = cursor;
            field.quoted = 0;
            while (*cursor != '\0' && *cursor != ',' && *cursor != '\n' && *cursor != '\r') {
                ++cursor;
            }
            if (*cursor != '\0') {
                *cursor++ = '\0';
            }
        }
        if (total == 0) {
            *first = field;
        } else if (total == 1) {
            *second = field;
        }
        ++total;
        if (count == TRV_K_MAX_FIELDS) {
            memmove(fields, fields + 1, sizeof(trv_field) * (TRV_K_MAX_FIELDS - 1));
            --count;
        }
        fields[count++] = field;
    }
    return total;
}

static char *trv_field_copy(const trv_field *field)
{
    return field->quoted || strcmp(field->text, "?") != 0 ? trv_copy(field->text) : NULL;
}

static void trv_tdc_store(trv_tdc *tdc, int number, const char *key, const trv_field *fields,
                          const trv_field *first, const trv_field *second, int total)
{
    trv_construct *record;
    if (number >= tdc->count) {
        int grown = tdc->count == 0 ? 256 : tdc->count;
        trv_construct *records;
        while (grown <= number) {
            grown *= 2;
        }
        records = realloc(tdc->records, sizeof(trv_construct) * (size_t)grown);
        if (records == NULL) {
            return;
        }
        memset(records + tdc->count, 0, sizeof(trv_construct) * (size_t)(grown - tdc->count));
        tdc->records = records;
        tdc->count = grown;
    }
    record = &tdc->records[number];
    free(record->text);
    free(record->detail);
    snprintf(record->key, sizeof record->key, "%s", key);
    int count = total < TRV_K_MAX_FIELDS ? total : TRV_K_MAX_FIELDS;
    /* The last two fields are the location. */
    record->text = total > 2 ? trv_field_copy(first) : NULL;
    record->detail = total > 3 ? trv_field_copy(second) : NULL;
    record->file = count >= 2 ? atoi(fields[count - 2].text) : 0;
    record->line = count >= 2 ? atoi(fields[count - 1].text) : 0;
}

static void trv_tdc_add_file(trv_tdc *tdc, const char *name)
{
    char **files = realloc(tdc->files, sizeof(char *) * (size_t)(tdc->file_count + 1));
    if (files == NULL) {
        return;
    }
    tdc->files = files;
    tdc->files[tdc->file_count++] = trv_copy(name);
}

/* Reads one record line; a banner line is checked against the stamp. */
static int trv_tdc_read_line(trv_tdc *tdc, char *line, const char *stamp)
{
    trv_field fields[TRV_K_MAX_FIELDS];
    trv_field first;
    trv_field second;
    char key[4];
    int key_length = 0;
    int count;
    char *cursor = line;
    if (strncmp(line, "TARVO Ostrel ", 13) == 0) {
        count = trv_split_fields(line + 13, fields, &first, &second);
        return stamp == NULL || stamp[0] == '\0' ||
               (count >= 4 && count <= TRV_K_MAX_FIELDS && strcmp(fields[3].text, stamp) == 0);
    }
    while (isupper((unsigned char)*cursor) && key_length < 3) {
        key[key_length++] = *cursor++;
    }
    key[key_length] = '\0';
    if (key_length == 0 || !isdigit((unsigned char)*cursor)) {
        return 1;
    }
    {
        long number = strtol(cursor, &cursor, 10);
        if (number > TRV_K_MAX_RECORD) {
            return 1;
        }
        count = trv_split_fields(cursor, fields, &first, &second);
        trv_tdc_store(tdc, (int)number, key, fields, &first, &second, count);
        if (strcmp(key, "CF") == 0 && count > 0) {
            trv_tdc_add_file(tdc, first.text);
        }
    }
    return 1;
}

/* Loads one candidate: 0 loaded, 1 no such file, 2 of another generation. */
static int trv_tdc_try(trv_tdc *tdc, const char *path, const char *stamp)
{
    FILE *file = fopen(path, "r");
    char *line = NULL;
    size_t capacity = 0;
    int matches = 1;
    if (file == NULL) {
        return 1;
    }
    while (matches && getline(&line, &capacity, file) >= 0) {
        matches = trv_tdc_read_line(tdc, line, stamp);
    }
    free(line);
    fclose(file);
    if (!matches) {
        char directory[TRV_K_PATH_SIZE];
        char path_copy[TRV_K_PATH_SIZE];
        memcpy(directory, tdc->origin_directory, sizeof directory);
        memcpy(path_copy, tdc->origin_path, sizeof path_copy);
        trv_tdc_release(tdc);
        memcpy(tdc->origin_directory, directory, sizeof directory);
        memcpy(tdc->origin_path, path_copy, sizeof path_copy);
        return 2;
    }
    return 0;
}

void trv_tdc_origin(TRV_T_RUNCTX *run, const char *generation_directory, const char *tdc_path)
{
    trv_tdc *tdc = &trv_priv(run)->tdc;
    trv_bounded_copy(tdc->origin_directory, sizeof tdc->origin_directory,
                     generation_directory != NULL ? generation_directory : "");
    trv_bounded_copy(tdc->origin_path, sizeof tdc->origin_path, tdc_path != NULL ? tdc_path : "");
}

#define TRV_K_TDC_CANDIDATES 5

/* The paths where the TDC file may be, in the order they are tried. */
typedef struct trv_s_tdc_candidates {
    char paths[TRV_K_TDC_CANDIDATES][TRV_K_PATH_SIZE];
    int count;
} trv_tdc_candidates;

static int trv_is_separator(char c)
{
    return c == '/' || c == '\\';
}

/* Adds directory/name (name alone when directory is NULL), unless it is
 * there already or does not fit. */
static void trv_tdc_candidate(trv_tdc_candidates *candidates, const char *directory, const char *name)
{
    char *slot;
    int written;
    int i;
    if (candidates->count == TRV_K_TDC_CANDIDATES || name[0] == '\0') {
        return;
    }
    slot = candidates->paths[candidates->count];
    if (directory == NULL || directory[0] == '\0') {
        written = snprintf(slot, TRV_K_PATH_SIZE, "%s", name);
    } else {
        size_t length = strlen(directory);
        written = snprintf(slot, TRV_K_PATH_SIZE, "%s%s%s", directory,
                           trv_is_separator(directory[length - 1]) ? "" : "/", name);
    }
    if (written < 0 || written >= TRV_K_PATH_SIZE) {
        return;
    }
    for (i = 0; i < candidates->count; ++i) {
        if (strcmp(candidates->paths[i], slot) == 0) {
            return;
        }
    }
    ++candidates->count;
}

static const char *trv_base_name(const char *path)
{
    const char *base = path;
    for (; *path != '\0'; ++path) {
        if (trv_is_separator(*path)) {
            base = path + 1;
        }
    }
    return base;
}

/* The directory of the running program, "" when the system does not say. */
static void trv_program_directory(char *directory, size_t size)
{
    ssize_t length = readlink("/proc/self/exe", directory, size - 1);
    directory[0] = '\0';
    if (length > 0) {
        directory[length] = '\0';
        *(char *)trv_base_name(directory) = '\0';
    }
}

/* The trace file's name with the TDC extension (QVM_TDC, else "tdc"). */
static void trv_tdc_beside_trace(trv_tdc_candidates *candidates, const char *rio_file)
{
    char path[TRV_K_PATH_SIZE];
    const char *extension = getenv("QVM_TDC");
    const char *base = trv_base_name(rio_file);
    const char *dot = strrchr(base, '.');
    int stem = (int)(dot != NULL ? (size_t)(dot - rio_file) : strlen(rio_file));
    if (extension == NULL || extension[0] == '\0') {
        extension = "tdc";
    }
    if (snprintf(path, sizeof path, "%.*s.%s", stem, rio_file, extension) < (int)sizeof path) {
        trv_tdc_candidate(candidates, NULL, path);
    }
}

/* QVM_TDC_FILE alone when it is set; else the file the program was
 * generated with, beside the program and from the directory of the
 * generation; then the one named after the trace. */
static void trv_tdc_candidates_of(const trv_tdc *tdc, const char *rio_file, trv_tdc_candidates *candidates)
{
    const char *forced = getenv("QVM_TDC_FILE");
    candidates->count = 0;
    if (forced != NULL && forced[0] != '\0') {
        trv_tdc_candidate(candidates, NULL, forced);
        return;
    }
    if (tdc->origin_path[0] != '\0') {
        char program_directory[TRV_K_PATH_SIZE];
        const int absolute = trv_is_separator(tdc->origin_path[0]);
        trv_program_directory(program_directory, sizeof program_directory);
        if (program_directory[0] != '\0') {
            trv_tdc_candidate(candidates, program_directory, trv_base_name(tdc->origin_path));
            if (!absolute) {
                trv_tdc_candidate(candidates, program_directory, tdc->origin_path);
            }
        }
        trv_tdc_candidate(candidates, absolute ? NULL : tdc->origin_directory, tdc->origin_path);
    }
    trv_tdc_beside_trace(candidates, rio_file != NULL && rio_file[0] != '\0' ? rio_file : "run.rio");
}

void trv_tdc_read(TRV_T_RUNCTX *run, const char *rio_file, const char *stamp)
{
    trv_tdc *tdc = &trv_priv(run)->tdc;
    trv_tdc_candidates candidates;
    char others[TRV_K_TRACE_LINE];
    const char *stale = NULL;
    size_t used = 0;
    int i;
    trv_tdc_candidates_of(tdc, rio_file, &candidates);
    for (i = 0; i < candidates.count; ++i) {
        const int outcome = trv_tdc_try(tdc, candidates.paths[i], stamp);
        if (outcome == 0) {
            trv_trace(run, TRV_K_TRACE_ERROR, "RUN      TDC file %s", candidates.paths[i]);
            return;
        }
        if (outcome == 2 && stale == NULL) {
            stale = candidates.paths[i];
        }
    }
    if (stale != NULL) {
        trv_trace(run, TRV_K_TRACE_ERROR,
                  "RUN      TDC file %s is not from the same generation: script positions are not shown", stale);
        return;
    }
    others[0] = '\0';
    for (i = 1; i < candidates.count && used < sizeof others; ++i) {
        int written = snprintf(others + used, sizeof others - used, "%s%s", i == 1 ? " (nor " : ", ",
                               candidates.paths[i]);
        used += written > 0 ? (size_t)written : 0;
    }
    if (candidates.count > 1 && used + 1 < sizeof others) {
        strcat(others, ")");
    }
    trv_trace(run, TRV_K_TRACE_ERROR, "RUN      no TDC file %s%s: script positions are not shown",
              candidates.count > 0 ? candidates.paths[0] : "", others);
}

void trv_tdc_release(trv_tdc *tdc)
{
    int i;
    for (i = 0; i < tdc->count; ++i) {
        free(tdc->records[i].text);
        free(tdc->records[i].detail);
    }
    for (i = 0; i < tdc->file_count; ++i) {
        free(tdc->files[i]);
    }
    free(tdc->records);
    free(tdc->files);
    memset(tdc, 0, sizeof *tdc);
}

const trv_construct *trv_tdc_find(const trv_tdc *tdc, int number)
{
    if (number < 0 || number >= tdc->count || tdc->records[number].key[0] == '\0') {
        return NULL;
    }
    return &tdc->records[number];
}

/* File identifiers count from 1 in the order of the CF records. */
static const char *trv_tdc_file(const trv_tdc *tdc, int file)
{
    if (file >= 1 && file <= tdc->file_count) {
        return tdc->files[file - 1];
    }
    return NULL;
}

void trv_where(TRV_T_RUNCTX *run, TRV_T_INT number, char *out, size_t size)
{
    const trv_construct *record = trv_tdc_find(&trv_priv(run)->tdc, number);
    const char *file = record == NULL ? NULL : trv_tdc_file(&trv_priv(run)->tdc, record->file);
    if (file != NULL) {
        snprintf(out, size, "#%d %s:%d", (int)number, file, record->line);
    } else {
        snprintf(out, size, "#%d", (int)number);
    }
}

const char *trv_construct_text(TRV_T_RUNCTX *run, TRV_T_INT number, const char *fallback)
{
    const trv_construct *record = trv_tdc_find(&trv_priv(run)->tdc, number);
    return record != NULL && record->text != NULL && record->text[0] != '\0' ? record->text : fallback;
}

const char *trv_construct_detail(TRV_T_RUNCTX *run, TRV_T_INT number, const char *fallback)
{
    const trv_construct *record = trv_tdc_find(&trv_priv(run)->tdc, number);
    return record != NULL && record->detail != NULL && record->detail[0] != '\0' ? record->detail : fallback;
}
