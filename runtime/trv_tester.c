/* Links between testers that run as separate processes on one machine:
 * rendezvous and inter-tester messages, through Unix sockets in one
 * directory (QVM_TESTER_DIR, else the trace file's directory).
 *
 * Each tester receives inter-tester messages on a datagram socket named
 * after it, "qvm-<tester>.tester"; a message is "<emitter>\n<text>".
 * A rendezvous is held on a stream socket "qvm-rdv-<name>-<occurrence>.sock":
 * the first tester to come listens there and lets the others go on once all
 * have come. */
#define _GNU_SOURCE
#include "trv_private.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#define TRV_K_TESTER_TIMEOUT 5000ul /* inter-tester messages, QVM_TESTER_TIMEOUT */
#define TRV_K_RDV_TIMEOUT 30000ul   /* rendezvous, QVM_RDV_TIMEOUT */
#define TRV_K_RDV_COUNT 2           /* testers meeting, QVM_RDV_COUNT */
#define TRV_K_RETRY_MS 10

static TRV_THREAD_LOCAL char trv_emitter[TRV_K_NAME_SIZE];

static unsigned long trv_env_number(const char *name, unsigned long fallback)
{
    const char *text = getenv(name);
    char *end = NULL;
    unsigned long value;
    if (text == NULL || text[0] == '\0') {
        return fallback;
    }
    value = strtoul(text, &end, 10);
    return end != NULL && *end == '\0' && value > 0 ? value : fallback;
}

static void trv_problem(TRV_T_RUNCTX *run, const char *format, ...)
    __attribute__((format(printf, 2, 3)));

static void trv_problem(TRV_T_RUNCTX *run, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(trv_priv(run)->tester_problem, TRV_K_FAILURE_TEXT, format, arguments);
    va_end(arguments);
}

/* A socket file name: letters, digits, '-', '_' and '.' kept, others '_'. */
static void trv_safe_name(const char *name, char *out, size_t size)
{
    size_t i;
    for (i = 0; name[i] != '\0' && i + 1 < size; ++i) {
        char c = name[i];
        int kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                   c == '_' || c == '.';
        out[i] = kept ? c : '_';
    }
    out[i] = '\0';
}

/* The socket address of a file of the tester directory; 0 when the path is
 * too long for a socket. */
static int trv_socket_address(TRV_T_RUNCTX *run, const char *file, struct sockaddr_un *address)
{
    int length;
    memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    length = snprintf(address->sun_path, sizeof address->sun_path, "%s/%s", trv_priv(run)->rdv_dir, file);
    if (length < 0 || (size_t)length >= sizeof address->sun_path) {
        trv_problem(run, "the socket path %s/%s is longer than %d characters (set QVM_TESTER_DIR)",
                    trv_priv(run)->rdv_dir, file, (int)sizeof address->sun_path - 1);
        return 0;
    }
    return 1;
}

static void trv_mailbox_file(const char *tester, char *out, size_t size)
{
    char safe[TRV_K_NAME_SIZE];
    trv_safe_name(tester, safe, sizeof safe);
    snprintf(out, size, "qvm-%s.tester", safe);
}

/* The tester's name without the directories of a trace file path. */
static const char *trv_short_tester_name(TRV_T_RUNCTX *run)
{
    const char *name = trv_priv(run)->tester;
    const char *slash = strrchr(name, '/');
    return slash != NULL ? slash + 1 : name;
}

static void trv_tester_directory(TRV_T_RUNCTX *run, const char *rio_file)
{
    trv_private *state = trv_priv(run);
    const char *chosen = getenv("QVM_TESTER_DIR");
    if (chosen != NULL && chosen[0] != '\0') {
        snprintf(state->rdv_dir, sizeof state->rdv_dir, "%s", chosen);
    } else if (rio_file != NULL && strrchr(rio_file, '/') != NULL) {
        snprintf(state->rdv_dir, sizeof state->rdv_dir, "%.*s", (int)(strrchr(rio_file, '/') - rio_file),
                 rio_file);
        if (state->rdv_dir[0] == '\0') {
            snprintf(state->rdv_dir, sizeof state->rdv_dir, "/");
        }
    } else {
        snprintf(state->rdv_dir, sizeof state->rdv_dir, ".");
    }
}

/* Whether a socket file is left from a tester that is gone: nothing
 * receives on it any more. */
static int trv_stale_socket(const char *path, int type)
{
    struct sockaddr_un address;
    int fd = socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
    int stale;
    if (fd < 0) {
        return 0;
    }
    memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (snprintf(address.sun_path, sizeof address.sun_path, "%s", path) >= (int)sizeof address.sun_path) {
        close(fd);
        return 0;
    }
    stale = connect(fd, (struct sockaddr *)&address, sizeof address) != 0 && errno == ECONNREFUSED;
    close(fd);
    return stale;
}

/* Makes room for a socket of this tester at path: a socket left by a
 * tester that is gone is removed, anything else is left alone and stops
 * the bind (0, with the reason). */
static int trv_clear_socket_path(TRV_T_RUNCTX *run, const char *path, int type)
{
    struct stat status;
    if (lstat(path, &status) != 0) {
        return 1;
    }
    if (!S_ISSOCK(status.st_mode)) {
        trv_problem(run, "%s is in the way and is not a socket: it is left alone", path);
        return 0;
    }
    if (!trv_stale_socket(path, type)) {
        trv_problem(run, "%s is in use by another tester", path);
        return 0;
    }
    unlink(path);
    return 1;
}

/* Removes a socket this tester bound, unless something else took its place. */
static void trv_remove_own_socket(const char *path, const struct stat *bound)
{
    struct stat status;
    if (lstat(path, &status) == 0 && S_ISSOCK(status.st_mode) && status.st_dev == bound->st_dev &&
        status.st_ino == bound->st_ino) {
        unlink(path);
    }
}

static int trv_bind_mailbox(TRV_T_RUNCTX *run, const struct sockaddr_un *address)
{
    trv_private *state = trv_priv(run);
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        trv_problem(run, "no socket for inter-tester messages (%s)", strerror(errno));
        return 0;
    }
    if (!trv_clear_socket_path(run, address->sun_path, SOCK_DGRAM)) {
        close(fd);
        return 0;
    }
    if (bind(fd, (const struct sockaddr *)address, sizeof *address) != 0 ||
        lstat(address->sun_path, &state->mailbox_status) != 0) {
        trv_problem(run, "cannot receive inter-tester messages at %s (%s)", address->sun_path, strerror(errno));
        close(fd);
        return 0;
    }
    state->mailbox = fd;
    snprintf(state->mailbox_path, sizeof state->mailbox_path, "%s", address->sun_path);
    return 1;
}

/* The mailbox is made when the run starts, so that messages sent before
 * the first INTERRECV wait in it. When it cannot be made the run says so
 * at once: a failing verdict when QVM_TESTER_DIR names the directory (the
 * run is meant to meet other testers), else a RUN line; an INTERRECV then
 * fails at once with the reason. */
void trv_testers_start(TRV_T_RUNCTX *run, const char *rio_file)
{
    trv_private *state = trv_priv(run);
    struct sockaddr_un address;
    char file[TRV_K_NAME_SIZE + 16];
    const char *chosen = getenv("QVM_TESTER_DIR");
    trv_tester_directory(run, rio_file);
    trv_mailbox_file(trv_short_tester_name(run), file, sizeof file);
    state->tester_problem[0] = '\0';
    if (trv_socket_address(run, file, &address) && trv_bind_mailbox(run, &address)) {
        return;
    }
    trv_bounded_copy(state->mailbox_problem, sizeof state->mailbox_problem, state->tester_problem);
    if (chosen != NULL && chosen[0] != '\0') {
        trv_fail(run, -1, "no inter-tester mailbox: %s", state->mailbox_problem);
    } else {
        trv_trace(run, TRV_K_TRACE_ERROR, "RUN      no inter-tester mailbox: %s", state->mailbox_problem);
    }
}

void trv_testers_release(TRV_T_RUNCTX *run)
{
    trv_private *state = trv_priv(run);
    if (state->mailbox >= 0) {
        close(state->mailbox);
        trv_remove_own_socket(state->mailbox_path, &state->mailbox_status);
        state->mailbox = -1;
    }
}

/* ---- Inter-tester messages ----------------------------------------------------------- */

static TRV_T_UTIME trv_tester_timeout(TRV_T_RUNCTX *run)
{
    if (run->trv_ctxtagttimeout > 0) {
        return (TRV_T_UTIME)run->trv_ctxtagttimeout;
    }
    return trv_env_number("QVM_TESTER_TIMEOUT", TRV_K_TESTER_TIMEOUT);
}

/* ---- Who is there ----------------------------------------------------------------------- */

void trv_declare_instances(TRV_T_RUNCTX *run, const char *const *instances)
{
    trv_priv(run)->instances = instances;
}

static int trv_is_declared(TRV_T_RUNCTX *run, const char *name)
{
    const char *const *instance = trv_priv(run)->instances;
    for (; instance != NULL && *instance != NULL; ++instance) {
        if (strcmp(*instance, name) == 0) {
            return 1;
        }
    }
    return 0;
}

/* Whether a tester name is "<instance>_<occurrence>". */
static int trv_is_tester_of(const char *tester, const char *instance)
{
    size_t length = strlen(instance);
    const char *digit;
    if (strncmp(tester, instance, length) != 0 || tester[length] != '_' || tester[length + 1] == '\0') {
        return 0;
    }
    for (digit = tester + length + 1; *digit != '\0'; ++digit) {
        if (*digit < '0' || *digit > '9') {
            return 0;
        }
    }
    return 1;
}

/* Whether a name is the tester name of an occurrence of a declared instance. */
static int trv_is_declared_tester(TRV_T_RUNCTX *run, const char *name)
{
    const char *const *instance = trv_priv(run)->instances;
    for (; instance != NULL && *instance != NULL; ++instance) {
        if (trv_is_tester_of(name, *instance)) {
            return 1;
        }
    }
    return 0;
}

static int trv_is_mailbox_file(const struct dirent *entry)
{
    size_t length = strlen(entry->d_name);
    return length > 11 && strncmp(entry->d_name, "qvm-", 4) == 0 && strcmp(entry->d_name + length - 7, ".tester") == 0;
}

/* Whether a tester of that name receives in the tester directory now. */
static int trv_tester_there(TRV_T_RUNCTX *run, const char *tester)
{
    char path[TRV_K_PATH_SIZE + TRV_K_NAME_SIZE + 16];
    char safe[TRV_K_NAME_SIZE];
    struct stat status;
    trv_safe_name(tester, safe, sizeof safe);
    snprintf(path, sizeof path, "%s/qvm-%s.tester", trv_priv(run)->rdv_dir, safe);
    return lstat(path, &status) == 0 && S_ISSOCK(status.st_mode) && !trv_stale_socket(path, SOCK_DGRAM);
}

/* The testers that receive in the tester directory, in alphabetical order;
 * with an instance, only its testers. Calls found for each; returns how
 * many there are. */
static int trv_each_tester(TRV_T_RUNCTX *run, const char *instance, void (*found)(const char *, void *),
                           void *data)
{
    struct dirent **entries = NULL;
    int count = scandir(trv_priv(run)->rdv_dir, &entries, trv_is_mailbox_file, alphasort);
    int kept = 0;
    int i;
    for (i = 0; i < count; ++i) {
        char tester[TRV_K_NAME_SIZE];
        size_t length = strlen(entries[i]->d_name) - 11;
        snprintf(tester, sizeof tester, "%.*s", (int)length, entries[i]->d_name + 4);
        if ((instance == NULL || trv_is_tester_of(tester, instance)) && trv_tester_there(run, tester)) {
            found(tester, data);
            ++kept;
        }
        free(entries[i]);
    }
    free(entries);
    return kept;
}

typedef struct trv_s_name_list {
    char *text;
    size_t size;
} trv_name_list;

static void trv_add_name(const char *name, void *data)
{
    trv_name_list *list = data;
    size_t used = strlen(list->text);
    const int added = snprintf(list->text + used, list->size - used, "%s%s", used > 0 ? ", " : "", name);
    if (added >= 0) {
        trv_mark_cut(list->text, list->size, (int)(used + (size_t)added));
    }
}

/* "testers running: a_0, b_0", or "no tester running". */
static void trv_running_testers(TRV_T_RUNCTX *run, char *out, size_t size)
{
    char names[TRV_K_FAILURE_TEXT] = "";
    trv_name_list list;
    list.text = names;
    list.size = sizeof names;
    if (trv_each_tester(run, NULL, trv_add_name, &list) == 0) {
        snprintf(out, size, "no tester running");
    } else {
        snprintf(out, size, "testers running: %s", names);
    }
}

/* Whether a tester name "<instance>_<occurrence>" is of occurrence 0. */
static int trv_is_first_occurrence(const char *tester)
{
    const char *underscore = strrchr(tester, '_');
    return underscore != NULL && strcmp(underscore, "_0") == 0;
}

/* Keeps the first tester met, or the one of occurrence 0. */
static void trv_take_first_or_zero(const char *tester, void *data)
{
    trv_name_list *chosen = data;
    if (chosen->text[0] == '\0' || trv_is_first_occurrence(tester)) {
        snprintf(chosen->text, chosen->size, "%s", tester);
    }
}

static void trv_instance_ambiguous(TRV_T_RUNCTX *run, const char *instance, int count)
{
    char names[TRV_K_FAILURE_TEXT] = "";
    trv_name_list list;
    list.text = names;
    list.size = sizeof names;
    trv_each_tester(run, instance, trv_add_name, &list);
    trv_problem(run, "instance \"%s\" has %d testers and none of occurrence 0 (%s): name one", instance, count,
                names);
}

/* The tester an INTERSEND goes to. */
typedef enum { TRV_DEST_FOUND, TRV_DEST_AWAITED, TRV_DEST_INSTANCE_AWAITED, TRV_DEST_REFUSED } trv_destination;

/* A tester of that name, else the tester of the instance of that name
 * (its occurrence 0, or its only one). A name the script cannot mean is
 * refused at once; one that may still come (a tester name, an instance
 * whose tester has not started yet) is awaited. */
static trv_destination trv_find_destination(TRV_T_RUNCTX *run, const char *destination, char *tester, size_t size)
{
    char running[TRV_K_FAILURE_TEXT];
    snprintf(tester, size, "%s", destination);
    if (trv_tester_there(run, destination)) {
        return TRV_DEST_FOUND;
    }
    if (trv_is_declared(run, destination)) {
        trv_name_list chosen;
        int count;
        tester[0] = '\0';
        chosen.text = tester;
        chosen.size = size;
        count = trv_each_tester(run, destination, trv_take_first_or_zero, &chosen);
        if (count == 0) {
            return TRV_DEST_INSTANCE_AWAITED;
        }
        if (count == 1 || trv_is_first_occurrence(tester)) {
            return TRV_DEST_FOUND;
        }
        trv_instance_ambiguous(run, destination, count);
        return TRV_DEST_REFUSED;
    }
    if (trv_priv(run)->instances == NULL || trv_is_declared_tester(run, destination)) {
        return TRV_DEST_AWAITED;
    }
    trv_running_testers(run, running, sizeof running);
    trv_problem(run, "no tester is named \"%s\" and the script declares no instance of that name (%s)", destination,
                running);
    return TRV_DEST_REFUSED;
}

/* Why the destination was not reached within the time-out. */
static void trv_post_timed_out(TRV_T_RUNCTX *run, trv_destination found, const char *destination,
                               TRV_T_UTIME timeout)
{
    char running[TRV_K_FAILURE_TEXT];
    trv_running_testers(run, running, sizeof running);
    if (found == TRV_DEST_INSTANCE_AWAITED) {
        trv_problem(run, "no tester of instance \"%s\" came within %lu ms (%s)", destination,
                    (unsigned long)timeout, running);
    } else {
        trv_problem(run, "tester \"%s\" did not take the message within %lu ms (%s)", destination,
                    (unsigned long)timeout, running);
    }
}

/* Sends one datagram to the destination's mailbox, waiting for its tester
 * to come (or its mailbox to have room) until the time-out. */
static int trv_post(TRV_T_RUNCTX *run, const char *destination, const char *datagram, size_t size)
{
    char tester[TRV_K_NAME_SIZE];
    TRV_T_UTIME start = trv_now_ms();
    TRV_T_UTIME timeout = trv_tester_timeout(run);
    trv_destination found;
    int fd;
    int result = 1;
    if (access(trv_priv(run)->rdv_dir, W_OK | X_OK) != 0) {
        trv_problem(run, "the tester directory %s cannot be used (%s)", trv_priv(run)->rdv_dir, strerror(errno));
        return 1;
    }
    fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        trv_problem(run, "no socket (%s)", strerror(errno));
        return 1;
    }
    for (;;) {
        struct sockaddr_un address;
        char file[TRV_K_NAME_SIZE + 16];
        int error;
        found = trv_find_destination(run, destination, tester, sizeof tester);
        if (found == TRV_DEST_REFUSED) {
            break;
        }
        if (found != TRV_DEST_INSTANCE_AWAITED) {
            trv_mailbox_file(tester, file, sizeof file);
            if (!trv_socket_address(run, file, &address)) {
                break;
            }
            if (sendto(fd, datagram, size, MSG_DONTWAIT | MSG_NOSIGNAL, (struct sockaddr *)&address,
                       sizeof address) == (ssize_t)size) {
                trv_bounded_copy(trv_priv(run)->sent_to, sizeof trv_priv(run)->sent_to, tester);
                result = 0;
                break;
            }
            error = errno;
            if (error != ENOENT && error != ECONNREFUSED && error != EAGAIN && error != EWOULDBLOCK &&
                error != ENOBUFS && error != EINTR) {
                trv_problem(run, "cannot send to tester \"%s\" (%s)", tester, strerror(error));
                break;
            }
        }
        if (trv_now_ms() - start >= timeout) {
            trv_post_timed_out(run, found, destination, timeout);
            break;
        }
        trv_pause(TRV_K_RETRY_MS);
    }
    close(fd);
    return result;
}

TRV_T_INT trv_intersend(TRV_T_RUNCTX *run, const char *message, const char *destination)
{
    char datagram[QVM_TAGTBUF_SIZE];
    int length;
    int result;
    trv_priv(run)->tester_problem[0] = '\0';
    trv_priv(run)->sent_to[0] = '\0';
    if (message == NULL || destination == NULL || destination[0] == '\0') {
        trv_problem(run, "no message or no destination");
        return 1;
    }
    length = snprintf(datagram, sizeof datagram, "%s\n%s", trv_short_tester_name(run), message);
    if (length < 0 || (size_t)length >= sizeof datagram) {
        trv_problem(run, "the message is longer than %d bytes", QVM_TAGTBUF_SIZE - 2 - (int)strlen(trv_short_tester_name(run)));
        return 1;
    }
    trv_guard_hold_limit(run);
    result = trv_post(run, destination, datagram, (size_t)length);
    trv_guard_restart_limit(run);
    return result;
}

void trv_isend(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT failed, const char *message,
               const char *destination)
{
    if (failed) {
        trv_fail(run, number, "INTERSEND to \"%s\" failed: %s", destination != NULL ? destination : "",
                 trv_priv(run)->tester_problem);
    } else {
        char what[TRV_K_FAILURE_TEXT];
        const char *reached = trv_priv(run)->sent_to;
        if (destination != NULL && reached[0] != '\0' && strcmp(reached, destination) != 0) {
            snprintf(what, sizeof what, "INTERSEND \"%.100s\" to \"%.60s\" (tester %.60s)", message, destination,
                     reached);
        } else {
            snprintf(what, sizeof what, "INTERSEND \"%.100s\" to \"%.100s\"", message, destination);
        }
        trv_pass(run, number, what);
    }
}

void trv_irecv(TRV_T_RUNCTX *run, TRV_T_INT number)
{
    char where[TRV_K_PATH_SIZE];
    trv_priv(run)->statement = number;
    trv_priv(run)->tester_problem[0] = '\0';
    trv_note_construct(run, number, "INTERRECV", 0);
    trv_guard_hold_limit(run);
    trv_where(run, number, where, sizeof where);
    trv_trace(run, TRV_K_TRACE_DETAIL, "INTERRECV %s waits", where);
}

/* The text of a received datagram goes into the caller's buffer, the
 * emitter's name into the thread's own. */
static int trv_unpack(TRV_T_RUNCTX *run, char *datagram, size_t length, char *buffer, TRV_T_INT size,
                      char **emitter, char **info)
{
    char *newline = memchr(datagram, '\n', length);
    const char *text = newline != NULL ? newline + 1 : datagram;
    size_t text_length = length - (size_t)(text - datagram);
    datagram[length] = '\0';
    if (newline != NULL) {
        *newline = '\0';
    }
    trv_bounded_copy(trv_emitter, sizeof trv_emitter, newline != NULL ? datagram : "?");
    if (text_length >= (size_t)size) {
        trv_problem(run, "a message of %lu bytes from \"%s\" does not fit in %d bytes", (unsigned long)text_length,
                    trv_emitter, (int)size);
        return 1;
    }
    memcpy(buffer, text, text_length + 1);
    *emitter = trv_emitter;
    *info = buffer;
    return 0;
}

TRV_T_INT priv_interrecv(TRV_T_INT *socket_fd, TRV_T_INT timeout, char *buffer, TRV_T_INT size, char **emitter,
                         char **info)
{
    TRV_T_RUNCTX *run = trv_current_run;
    char datagram[QVM_TAGTBUF_SIZE + 1];
    TRV_T_UTIME wait;
    ssize_t length;
    (void)socket_fd; /* the tracer link; messages come to the tester's own socket */
    if (run == NULL || run->trv_ctxpriv == NULL || buffer == NULL || size <= 0) {
        return 1;
    }
    if (trv_priv(run)->mailbox < 0) {
        trv_problem(run, "this tester has no inter-tester mailbox (%s)", trv_priv(run)->mailbox_problem);
        return 1;
    }
    wait = timeout > 0 ? (TRV_T_UTIME)timeout : trv_tester_timeout(run);
    {
        struct pollfd waited;
        int ready;
        waited.fd = trv_priv(run)->mailbox;
        waited.events = POLLIN;
        waited.revents = 0;
        trv_trace_write_pending_current();
        do {
            ready = poll(&waited, 1, (int)wait);
        } while (ready < 0 && errno == EINTR);
        if (ready <= 0) {
            trv_problem(run, "no message came within %lu ms", (unsigned long)wait);
            return 1;
        }
    }
    length = recv(trv_priv(run)->mailbox, datagram, QVM_TAGTBUF_SIZE, MSG_DONTWAIT);
    if (length < 0) {
        trv_problem(run, "receiving failed (%s)", strerror(errno));
        return 1;
    }
    return trv_unpack(run, datagram, (size_t)length, buffer, size, emitter, info);
}

void trv_end_irecv(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT result, const char *emitter, const char *info)
{
    char what[TRV_K_FAILURE_TEXT];
    trv_priv(run)->running_done = 1;
    trv_guard_restart_limit(run);
    switch (result) {
    case 0:
        snprintf(what, sizeof what, "INTERRECV \"%.100s\" from \"%.100s\"", info != NULL ? info : "",
                 emitter != NULL ? emitter : "");
        trv_pass(run, number, what);
        break;
    case 1: trv_fail(run, number, "INTERRECV received an empty message"); break;
    default: trv_fail(run, number, "INTERRECV failed: %s", trv_priv(run)->tester_problem); break;
    }
}

/* ---- Rendezvous ------------------------------------------------------------------------ */

void trv_brdv(TRV_T_RUNCTX *run, TRV_T_INT number, const char *name)
{
    char where[TRV_K_PATH_SIZE];
    trv_priv(run)->statement = number;
    trv_priv(run)->tester_problem[0] = '\0';
    trv_note_construct(run, number, "RENDEZVOUS", 0);
    trv_guard_hold_limit(run);
    trv_where(run, number, where, sizeof where);
    trv_trace(run, TRV_K_TRACE_DETAIL, "RENDEZVOUS %s \"%s\" reached", where, name != NULL ? name : "");
}

/* The how-manieth time the run meets at this name, from 1; 0 when too many
 * names were met. */
static int trv_occurrence(TRV_T_RUNCTX *run, const char *name)
{
    trv_private *state = trv_priv(run);
    int i;
    for (i = 0; i < state->meeting_count; ++i) {
        if (strcmp(state->meetings[i].name, name) == 0) {
            return ++state->meetings[i].count;
        }
    }
    if (state->meeting_count == TRV_K_MAX_MEETINGS) {
        trv_problem(run, "more than %d rendezvous names in one run", TRV_K_MAX_MEETINGS);
        return 0;
    }
    trv_bounded_copy(state->meetings[state->meeting_count].name, TRV_K_MEETING_NAME, name);
    state->meetings[state->meeting_count].count = 1;
    return state->meetings[state->meeting_count++].count;
}

void trv_rdv_members(TRV_T_RUNCTX *run, const char *const *members)
{
    trv_priv(run)->rdv_members = members;
}

static int trv_member_count(const char *const *members)
{
    int count = 0;
    while (members != NULL && members[count] != NULL) {
        ++count;
    }
    return count;
}

/* QVM_RDV_COUNT_<NAME>, else QVM_RDV_COUNT, else the number of instances
 * that meet there, else 2. */
static int trv_party_size(const char *name, const char *const *members)
{
    char variable[TRV_K_MEETING_NAME + 16];
    char safe[TRV_K_MEETING_NAME];
    size_t i;
    int fallback = members != NULL && members[0] != NULL ? trv_member_count(members) : TRV_K_RDV_COUNT;
    trv_safe_name(name, safe, sizeof safe);
    for (i = 0; safe[i] != '\0'; ++i) {
        if (safe[i] >= 'a' && safe[i] <= 'z') {
            safe[i] = (char)(safe[i] - 'a' + 'A');
        } else if (safe[i] == '-' || safe[i] == '.') {
            safe[i] = '_';
        }
    }
    snprintf(variable, sizeof variable, "QVM_RDV_COUNT_%s", safe);
    return (int)trv_env_number(variable, trv_env_number("QVM_RDV_COUNT", (unsigned long)fallback));
}

/* One tester at a time decides whether it joins or holds the meeting. */
static int trv_directory_lock(TRV_T_RUNCTX *run, TRV_T_UTIME deadline)
{
    char path[TRV_K_PATH_SIZE + 16];
    int fd;
    snprintf(path, sizeof path, "%s/qvm-rdv.lock", trv_priv(run)->rdv_dir);
    fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        trv_problem(run, "cannot open %s (%s)", path, strerror(errno));
        return -1;
    }
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (trv_now_ms() >= deadline) {
            trv_problem(run, "the rendezvous directory stayed locked");
            close(fd);
            return -1;
        }
        trv_pause(TRV_K_RETRY_MS);
    }
    return fd;
}

static int trv_wait_readable(int fd, TRV_T_UTIME deadline)
{
    struct pollfd waited;
    int ready;
    TRV_T_UTIME now = trv_now_ms();
    waited.fd = fd;
    waited.events = POLLIN;
    waited.revents = 0;
    trv_trace_write_pending_current();
    do {
        ready = poll(&waited, 1, now >= deadline ? 0 : (int)(deadline - now));
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

#define TRV_K_MEETING_PARTY 64
#define TRV_K_MEMBER_NAME 128

/* The testers met at a rendezvous: each joiner's connection and the tester
 * name it sent when it came. */
typedef struct trv_s_party {
    int fds[TRV_K_MEETING_PARTY];
    char names[TRV_K_MEETING_PARTY][TRV_K_MEMBER_NAME];
    int arrived;
} trv_party;

static void trv_read_member_name(int fd, TRV_T_UTIME deadline, char *name)
{
    ssize_t length = 0;
    name[0] = '\0';
    if (trv_wait_readable(fd, deadline)) {
        length = recv(fd, name, TRV_K_MEMBER_NAME - 1, MSG_DONTWAIT);
    }
    name[length > 0 ? length : 0] = '\0';
    name[strcspn(name, "\n")] = '\0';
}

/* Whether the tester of an instance is among those met. */
static int trv_member_came(const trv_party *party, const char *self, const char *instance)
{
    int i;
    if (trv_is_tester_of(self, instance)) {
        return 1;
    }
    for (i = 0; i < party->arrived; ++i) {
        if (trv_is_tester_of(party->names[i], instance)) {
            return 1;
        }
    }
    return 0;
}

/* ", missing a, b": the instances of the members list whose testers did not come. */
static void trv_missing_members(TRV_T_RUNCTX *run, const char *const *member, const trv_party *party, char *out,
                                size_t size)
{
    size_t used = 0;
    out[0] = '\0';
    for (; member != NULL && *member != NULL && used + 1 < size; ++member) {
        if (!trv_member_came(party, trv_short_tester_name(run), *member)) {
            int written = snprintf(out + used, size - used, "%s%s", used == 0 ? " (missing: " : ", ", *member);
            used = written > 0 ? used + (size_t)written : used;
        }
    }
    if (used > 0 && used + 1 < size) {
        snprintf(out + used, size - used, ")");
    }
}

/* The holder waits for the others, then tells each whether to go on. */
static int trv_hold_meeting(TRV_T_RUNCTX *run, int listener, int size, const char *const *members,
                            TRV_T_UTIME deadline, TRV_T_UTIME timeout)
{
    trv_party party;
    int i;
    int wanted = size - 1 < TRV_K_MEETING_PARTY ? size - 1 : TRV_K_MEETING_PARTY;
    const char *answer;
    party.arrived = 0;
    while (party.arrived < wanted && trv_wait_readable(listener, deadline)) {
        int member = accept4(listener, NULL, NULL, SOCK_CLOEXEC);
        if (member >= 0) {
            party.fds[party.arrived] = member;
            trv_read_member_name(member, deadline, party.names[party.arrived]);
            ++party.arrived;
        }
    }
    answer = party.arrived == wanted ? "GO\n" : "NO\n";
    for (i = 0; i < party.arrived; ++i) {
        if (send(party.fds[i], answer, 3, MSG_NOSIGNAL) != 3 && party.arrived == wanted) {
            trv_problem(run, "a tester left the rendezvous");
        }
        close(party.fds[i]);
    }
    if (party.arrived < wanted) {
        char missing[TRV_K_FAILURE_TEXT / 2] = "";
        trv_missing_members(run, members, &party, missing, sizeof missing);
        trv_problem(run, "%d of %d testers came within %lu ms%s", party.arrived + 1, size, (unsigned long)timeout,
                    missing);
        return 1;
    }
    return trv_priv(run)->tester_problem[0] != '\0';
}

static int trv_join_meeting(TRV_T_RUNCTX *run, int fd, TRV_T_UTIME deadline, TRV_T_UTIME timeout)
{
    char answer[4] = "";
    char name[TRV_K_NAME_SIZE + 1];
    ssize_t length;
    snprintf(name, sizeof name, "%s\n", trv_short_tester_name(run));
    if (send(fd, name, strlen(name), MSG_NOSIGNAL) < 0) {
        trv_problem(run, "the tester holding the rendezvous is gone (%s)", strerror(errno));
        return 1;
    }
    if (!trv_wait_readable(fd, deadline + TRV_K_RETRY_MS * 10)) {
        trv_problem(run, "the other testers did not all come within %lu ms", (unsigned long)timeout);
        return 1;
    }
    length = recv(fd, answer, 3, 0);
    if (length == 3 && memcmp(answer, "GO\n", 3) == 0) {
        return 0;
    }
    trv_problem(run, "the other testers did not all come within %lu ms", (unsigned long)timeout);
    return 1;
}

TRV_T_INT trv_rdv(const char *name)
{
    TRV_T_RUNCTX *run = trv_current_run;
    TRV_T_UTIME timeout = trv_env_number("QVM_RDV_TIMEOUT", TRV_K_RDV_TIMEOUT);
    TRV_T_UTIME deadline = trv_now_ms() + timeout;
    struct sockaddr_un address;
    struct stat bound;
    char file[TRV_K_MEETING_NAME * 2 + 32];
    char safe[TRV_K_MEETING_NAME];
    const char *const *members;
    int occurrence, party, named, lock, fd, result;
    if (run == NULL || run->trv_ctxpriv == NULL || name == NULL) {
        return 1;
    }
    /* The members named before this rendezvous are for it alone. */
    members = trv_priv(run)->rdv_members;
    trv_priv(run)->rdv_members = NULL;
    party = trv_party_size(name, members);
    named = members != NULL && party == trv_member_count(members);
    if ((occurrence = trv_occurrence(run, name)) == 0) {
        return 1;
    }
    if (party <= 1) {
        return 0;
    }
    trv_safe_name(name, safe, sizeof safe);
    snprintf(file, sizeof file, "qvm-rdv-%s-%d.sock", safe, occurrence);
    if (!trv_socket_address(run, file, &address) || (lock = trv_directory_lock(run, deadline)) < 0) {
        return 1;
    }
    fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && connect(fd, (struct sockaddr *)&address, sizeof address) == 0) {
        close(lock);
        result = trv_join_meeting(run, fd, deadline, timeout);
        close(fd);
        return result;
    }
    if (fd >= 0) {
        close(fd);
    }
    /* Nobody holds it: a socket there is left from an earlier run. */
    if (!trv_clear_socket_path(run, address.sun_path, SOCK_STREAM)) {
        close(lock);
        return 1;
    }
    fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 || bind(fd, (struct sockaddr *)&address, sizeof address) != 0 || listen(fd, 64) != 0 ||
        lstat(address.sun_path, &bound) != 0) {
        trv_problem(run, "cannot hold the rendezvous at %s (%s)", address.sun_path, strerror(errno));
        if (fd >= 0) {
            close(fd);
        }
        close(lock);
        return 1;
    }
    close(lock);
    result = trv_hold_meeting(run, fd, party, named ? members : NULL, deadline, timeout);
    trv_remove_own_socket(address.sun_path, &bound);
    close(fd);
    return result;
}

void trv_ardv(TRV_T_RUNCTX *run, TRV_T_INT number, TRV_T_INT failed, const char *name)
{
    trv_priv(run)->running_done = 1;
    trv_guard_restart_limit(run);
    if (failed) {
        trv_fail(run, number, "RENDEZVOUS \"%s\" failed: %s", name != NULL ? name : "",
                 trv_priv(run)->tester_problem);
    } else {
        char what[TRV_K_FAILURE_TEXT];
        snprintf(what, sizeof what, "RENDEZVOUS \"%.100s\" met", name != NULL ? name : "");
        trv_pass(run, number, what);
    }
}
