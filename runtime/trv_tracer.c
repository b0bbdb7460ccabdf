/* Link to the graphical tracer: a Unix stream socket named by the
 * environment variable QVM_TRACER_SOCKET, one text line per event. */
#include "trv_private.h"

#include <errno.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#define TRV_K_LINK_TIMEOUT_MS 5000

static void trv_link_write(int socket_fd, const char *line, size_t length)
{
    while (length > 0) {
        ssize_t sent = send(socket_fd, line, length, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return;
        }
        line += sent;
        length -= (size_t)sent;
    }
}

void trv_link_send(TRV_T_RUNCTX *run, const char *format, ...)
{
    char line[TRV_K_TRACE_LINE];
    va_list arguments;
    int length;
    if (!run->trv_ctxtagtcommactivated || run->trv_ctxtagtsocket < 0) {
        return;
    }
    va_start(arguments, format);
    length = vsnprintf(line, sizeof line - 1, format, arguments);
    va_end(arguments);
    if (length < 0) {
        return;
    }
    if ((size_t)length > sizeof line - 2) {
        length = (int)sizeof line - 2;
    }
    line[length++] = '\n';
    trv_link_write(run->trv_ctxtagtsocket, line, (size_t)length);
}

static int trv_link_timeout(void)
{
    const char *text = getenv("QVM_TRACER_TIMEOUT");
    long value = text != NULL ? strtol(text, NULL, 10) : 0;
    return value > 0 && value < 3600000L ? (int)value : TRV_K_LINK_TIMEOUT_MS;
}

int priv_boot_tagtlk(TRV_T_INT *socket_fd, const char *instance_name, const char *tester_name,
                     TRV_T_INT *timeout, TRV_T_INT *activated)
{
    const char *path = getenv("QVM_TRACER_SOCKET");
    struct sockaddr_un address;
    struct timeval limit;
    char hello[TRV_K_TRACE_LINE];
    int fd;
    int length;
    *socket_fd = -1;
    *activated = 0;
    *timeout = trv_link_timeout();
    if (path == NULL || path[0] == '\0') {
        fprintf(stderr, "qvm runtime: tracer link: QVM_TRACER_SOCKET is not set\n");
        return 1;
    }
    if (strlen(path) >= sizeof address.sun_path) {
        fprintf(stderr, "qvm runtime: tracer link: socket path too long: %s\n", path);
        return 1;
    }
    fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) {
        fprintf(stderr, "qvm runtime: tracer link: %s\n", strerror(errno));
        return 1;
    }
    memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    memcpy(address.sun_path, path, strlen(path) + 1);
    if (connect(fd, (struct sockaddr *)&address, sizeof address) != 0) {
        fprintf(stderr, "qvm runtime: tracer link: cannot connect to %s: %s\n", path, strerror(errno));
        close(fd);
        return 1;
    }
    limit.tv_sec = *timeout / 1000;
    limit.tv_usec = (*timeout % 1000) * 1000;
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    length = snprintf(hello, sizeof hello, "HELLO %s %s\n", tester_name != NULL ? tester_name : "\"\"",
                      instance_name != NULL && instance_name[0] != '\0' ? instance_name : "-");
    if (length < 0 || (size_t)length >= sizeof hello) {
        length = (int)strlen(hello);
    }
    trv_link_write(fd, hello, (size_t)length);
    *socket_fd = fd;
    *activated = 1;
    return 0;
}

void priv_close_tagtlk(TRV_T_INT *socket_fd)
{
    if (*socket_fd >= 0) {
        close(*socket_fd);
        *socket_fd = -1;
    }
}

void trv_endoftester_tagtlk(TRV_T_RUNCTX *run)
{
    trv_link_send(run, "END %d", trv_process_failed());
}

void trv_notify_tsf(TRV_T_RUNCTX *run, TRV_T_INT file_id, long hash_key, long run_key)
{
    trv_link_send(run, "FILE %d %ld %ld", (int)file_id, hash_key, run_key);
}

void trv_declare_ni_tsf(TRV_T_RUNCTX *run, TRV_T_INT file_id)
{
    trv_link_send(run, "ROOT %d", (int)file_id);
}

void trv_special_block_tsf(TRV_T_RUNCTX *run, TRV_T_INT element, TRV_T_INT file_id, TRV_T_INT kind,
                           TRV_T_INT begin)
{
    static const char *const kinds[] = {"?", "INITIALIZATION", "TERMINATION", "EXCEPTION"};
    trv_link_send(run, "BLOCK %s %s %d %d", kind >= 1 && kind <= 3 ? kinds[kind] : kinds[0],
                  begin ? "BEGIN" : "END", (int)element, (int)file_id);
}

void trv_send_tsf(TRV_T_RUNCTX *run, TRV_T_INT element, TRV_T_INT file_id)
{
    trv_link_send(run, "SEND %d %d", (int)element, (int)file_id);
}

void trv_begin_waittil_tsf(TRV_T_RUNCTX *run, TRV_T_INT element, TRV_T_INT file_id)
{
    trv_link_send(run, "WAITTIL BEGIN %d %d", (int)element, (int)file_id);
}

void trv_waittil_tsf(TRV_T_RUNCTX *run, const char *message_type, TRV_T_INT element, TRV_T_INT file_id)
{
    trv_link_send(run, "WAITTIL MESSAGE %d %d \"%s\"", (int)element, (int)file_id,
                  message_type != NULL ? message_type : "");
}

void trv_end_waittil_tsf(TRV_T_RUNCTX *run, TRV_T_INT element, TRV_T_INT file_id, TRV_T_INT result)
{
    trv_link_send(run, "WAITTIL END %d %d %d", (int)element, (int)file_id, (int)result);
}

void trv_rdv_reached_tsf(TRV_T_RUNCTX *run, TRV_T_INT reached, TRV_T_INT element, TRV_T_INT file_id)
{
    trv_link_send(run, "RENDEZVOUS %d %d %d", (int)element, (int)file_id, (int)reached);
}

void trv_intersend_tsf(TRV_T_RUNCTX *run, TRV_T_INT element, TRV_T_INT file_id, const char *destination)
{
    trv_link_send(run, "INTERSEND %d %d \"%s\"", (int)element, (int)file_id,
                  destination != NULL ? destination : "");
}

void trv_interrecv_tsf(TRV_T_RUNCTX *run, TRV_T_INT element, TRV_T_INT file_id, const char *info,
                       const char *emitter)
{
    trv_link_send(run, "INTERRECV %d %d \"%s\" \"%s\"", (int)element, (int)file_id,
                  emitter != NULL ? emitter : "", info != NULL ? info : "");
}
