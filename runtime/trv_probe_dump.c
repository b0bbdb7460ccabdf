/* The replay of a recorded session: every probe file an application wrote
 * under one path, replayed instance by instance by the generated
 * trv_dump_inst into a trace file of its own.  An object of its own: only
 * a program that holds the generated replay code (CUSTOM mode) links it. */
#include "probecst.h"

#include <dirent.h>
#include <errno.h>

/* Declared by the probe header too; defined by the generated probe code. */
void trv_dump_inst(TRV_PT_PRB prb_ctx, TRV_PT_CAR path, TRV_PT_CAR riofile, TRV_PT_CAR instName, TRV_PT_CAR other);
TRV_T_INT trv_dump_all_inst(TRV_PT_CAR path, TRV_PT_CAR riopath);

#define TRV_K_MAX_PROBE_FILES 1024
#define TRV_K_PROBE_PATH 4096

static const char trv_probe_extension[] = ".prb";

/* The directory part of path ("." when it has none) and the start of the
 * file names after it. */
static void trv_split_probe_path(const char *path, char *directory, size_t size, const char **prefix)
{
    const char *base = path;
    const char *cursor;
    for (cursor = path; *cursor != '\0'; ++cursor) {
        if (*cursor == '/' || *cursor == '\\') {
            base = cursor + 1;
        }
    }
    *prefix = base;
    if (base == path) {
        snprintf(directory, size, ".");
    } else {
        snprintf(directory, size, "%.*s", (int)(base - path), path);
    }
}

/* The instance a file name stands for: what lies between the prefix and
 * the extension; NULL for a file of no instance under that prefix. */
static char *trv_instance_of(const char *name, const char *prefix)
{
    size_t prefix_length = strlen(prefix);
    size_t length = strlen(name);
    size_t extension_length = sizeof trv_probe_extension - 1;
    char *instance;
    if (length < prefix_length + extension_length || strncmp(name, prefix, prefix_length) != 0 ||
        strcmp(name + length - extension_length, trv_probe_extension) != 0) {
        return NULL;
    }
    instance = malloc(length - prefix_length - extension_length + 1);
    if (instance == NULL) {
        fprintf(stderr, "qvm probe: out of memory\n");
        exit(1);
    }
    memcpy(instance, name + prefix_length, length - prefix_length - extension_length);
    instance[length - prefix_length - extension_length] = '\0';
    return instance;
}

static int trv_compare_names(const void *left, const void *right)
{
    return strcmp(*(char *const *)left, *(char *const *)right);
}

/* The instances recorded under path, sorted; their count, -1 when the
 * directory cannot be read. */
static int trv_recorded_instances(const char *path, char **instances)
{
    char directory[TRV_K_PROBE_PATH];
    const char *prefix;
    DIR *listing;
    struct dirent *file;
    int count = 0;
    trv_split_probe_path(path, directory, sizeof directory, &prefix);
    listing = opendir(directory);
    if (listing == NULL) {
        fprintf(stderr, "qvm probe: the directory %s of the probe files %s*%s cannot be read (%s)\n", directory, path,
                trv_probe_extension, strerror(errno));
        return -1;
    }
    while ((file = readdir(listing)) != NULL) {
        char *instance = trv_instance_of(file->d_name, prefix);
        if (instance == NULL) {
            continue;
        }
        if (count == TRV_K_MAX_PROBE_FILES) {
            fprintf(stderr, "qvm probe: more than %d probe files %s*%s: the others are not replayed\n",
                    TRV_K_MAX_PROBE_FILES, path, trv_probe_extension);
            free(instance);
            break;
        }
        instances[count++] = instance;
    }
    closedir(listing);
    qsort(instances, (size_t)count, sizeof instances[0], trv_compare_names);
    return count;
}

/* Replays one instance's probe file into "<riopath><instance>.rio"; 0 when
 * a name does not fit or the trace of an earlier replay stays. */
static int trv_replay_instance(const char *path, const char *riopath, char *instance)
{
    char probe_file[TRV_K_PROBE_PATH];
    char rio_file[TRV_K_PROBE_PATH];
    int probe_length = snprintf(probe_file, sizeof probe_file, "%s%s%s", path, instance, trv_probe_extension);
    int rio_length = snprintf(rio_file, sizeof rio_file, "%s%s.rio", riopath, instance);
    if (probe_length < 0 || (size_t)probe_length >= sizeof probe_file || rio_length < 0 ||
        (size_t)rio_length >= sizeof rio_file) {
        fprintf(stderr, "qvm probe: instance \"%s\" not replayed: a file name is longer than %d characters\n",
                instance, TRV_K_PROBE_PATH - 1);
        return 0;
    }
    /* A file that cannot be replayed leaves no trace, not an older replay's. */
    if (remove(rio_file) != 0 && errno != ENOENT) {
        fprintf(stderr, "qvm probe: instance \"%s\" not replayed: the trace %s of an earlier replay cannot be removed (%s)\n",
                instance, rio_file, strerror(errno));
        return 0;
    }
    trv_dump_inst((TRV_PT_PRB)NULL, probe_file, rio_file, instance, (TRV_PT_CAR)NULL);
    return 1;
}

TRV_T_INT trv_dump_all_inst(TRV_PT_CAR path, TRV_PT_CAR riopath)
{
    char **instances = malloc(TRV_K_MAX_PROBE_FILES * sizeof *instances);
    int count;
    int replayed = 0;
    int i;
    if (instances == NULL) {
        fprintf(stderr, "qvm probe: out of memory\n");
        exit(1);
    }
    if (path == NULL) {
        path = "";
    }
    if (riopath == NULL) {
        riopath = path;
    }
    count = trv_recorded_instances(path, instances);
    for (i = 0; i < count; ++i) {
        replayed += trv_replay_instance(path, riopath, instances[i]);
        free(instances[i]);
    }
    free(instances);
    if (count == 0) {
        fprintf(stderr, "qvm probe: no probe file %s*%s to replay\n", path, trv_probe_extension);
    }
    return count > 0 && replayed == count && !trv_probe_damaged() ? 0 : 1;
}
