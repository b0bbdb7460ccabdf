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
    snprintf(address.sun_path, sizeof address.sun_path, "%s", path);
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

/* Sends one datagram to the tester's mailbox, waiting for the tester to
 * come (or its mailbox to have room) until the time-out. */
static int trv_post(TRV_T_RUNCTX *run, const char *destination, const char *datagram, size_t size)
{
    struct sockaddr_un address;
    char file[TRV_K_NAME_SIZE + 16];
    TRV_T_UTIME start = trv_now_ms();
    TRV_T_UTIME timeout = trv_tester_timeout(run);
    int fd;
    int result = 1;
    trv_mailbox_file(destination, file, sizeof file);
    if (!trv_socket_address(run, file, &address)) {
        return 1;
    }
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
        int error;
        if (sendto(fd, datagram, size, MSG_DONTWAIT | MSG_NOSIGNAL, (struct sockaddr *)&address,
                   sizeof address) == (ssize_t)size) {
            result = 0;
            break;
        }
        error = errno;
        if (error != ENOENT && error != ECONNREFUSED && error != EAGAIN && error != EWOULDBLOCK &&
            error != ENOBUFS && error != EINTR) {
            trv_problem(run, "cannot send to tester \"%s\" (%s)", destination, strerror(error));
            break;
        }
        if (trv_now_ms() - start >= timeout) {
            trv_problem(run, "tester \"%s\" did not take the message within %lu ms", destination,
                        (unsigned long)timeout);
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
        snprintf(what, sizeof what, "INTERSEND \"%.100s\" to \"%.100s\"", message, destination);
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

/* QVM_RDV_COUNT_<NAME>, else QVM_RDV_COUNT, else 2. */
static int trv_party_size(const char *name)
{
    char variable[TRV_K_MEETING_NAME + 16];
    char safe[TRV_K_MEETING_NAME];
    size_t i;
    trv_safe_name(name, safe, sizeof safe);
    for (i = 0; safe[i] != '\0'; ++i) {
        if (safe[i] >= 'a' && safe[i] <= 'z') {
            safe[i] = (char)(safe[i] - 'a' + 'A');
        } else if (safe[i] == '-' || safe[i] == '.') {
            safe[i] = '_';
        }
    }
    snprintf(variable, sizeof variable, "QVM_RDV_COUNT_%s", safe);
    return (int)trv_env_number(variable, trv_env_number("QVM_RDV_COUNT", TRV_K_RDV_COUNT));
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
    do {
        ready = poll(&waited, 1, now >= deadline ? 0 : (int)(deadline - now));
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

/* The holder waits for the others, then tells each whether to go on. */
static int trv_hold_meeting(TRV_T_RUNCTX *run, int listener, int party, TRV_T_UTIME deadline,
                            TRV_T_UTIME timeout)
{
    int members[64];
    int arrived = 0;
    int i;
    int wanted = party - 1 < 64 ? party - 1 : 64;
    const char *answer;
    while (arrived < wanted && trv_wait_readable(listener, deadline)) {
        int member = accept4(listener, NULL, NULL, SOCK_CLOEXEC);
        if (member >= 0) {
            members[arrived++] = member;
        }
    }
    answer = arrived == wanted ? "GO\n" : "NO\n";
    for (i = 0; i < arrived; ++i) {
        if (send(members[i], answer, 3, MSG_NOSIGNAL) != 3 && arrived == wanted) {
            trv_problem(run, "a tester left the rendezvous");
        }
        close(members[i]);
    }
    if (arrived < wanted) {
        trv_problem(run, "%d of %d testers came within %lu ms", arrived + 1, party, (unsigned long)timeout);
        return 1;
    }
    return trv_priv(run)->tester_problem[0] != '\0';
}

static int trv_join_meeting(TRV_T_RUNCTX *run, int fd, TRV_T_UTIME deadline, TRV_T_UTIME timeout)
{
    char answer[4] = "";
    ssize_t length;
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
    int occurrence, party, lock, fd, result;
    if (run == NULL || run->trv_ctxpriv == NULL || name == NULL) {
        return 1;
    }
    party = trv_party_size(name);
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
    result = trv_hold_meeting(run, fd, party, deadline, timeout);
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
