/* Channels to the system under test.  A channel is a byte stream that
 * carries framed messages: a TCP connection to a real system, or one end of
 * a socket pair whose other end the in-process system under test serves.
 *
 * Frame: a 4-byte big-endian length of what follows, a 4-byte big-endian
 * message type, then the message's bytes (length - 4 of them). */
#define _GNU_SOURCE
#include "trv_private.h"

#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#pragma weak trv_sut_init

#define TRV_K_FRAME_HEADER 8
#define TRV_K_CHANNEL_NAME 64
#define TRV_K_ADDRESS_SIZE 256
#define TRV_K_MAX_HANDLERS 16
#define TRV_K_MAX_PENDING 1024
#define TRV_K_IO_TIMEOUT 5000 /* connecting and sending, in milliseconds */
#define TRV_K_CONFIG_LINE 512

typedef struct trv_s_bytes {
    unsigned char *data;
    size_t used;
    size_t capacity;
} trv_bytes;

typedef struct trv_s_channel {
    int open;
    int fd;     /* the tester's end: the connection identifier */
    int sut_fd; /* the in-process system's end; -1 for TCP */
    int closed; /* the other side ended the stream */
    int broken; /* a fault was reported: no more messages from it */
    char name[TRV_K_CHANNEL_NAME];
    trv_bytes in;     /* received bytes that are no whole message yet */
    trv_bytes sut_in; /* the same on the system's side */
} trv_channel;

typedef struct trv_s_handler {
    int any_channel;
    char channel[TRV_K_CHANNEL_NAME];
    TRV_T_SUT_HANDLER handler;
    void *user;
} trv_handler;

/* A frame (or the closing) that the system under test sends when due. */
typedef struct trv_s_answer {
    TRV_T_UTIME due;
    int channel;
    int close;
    unsigned char *bytes;
    size_t size;
    size_t sent;
} trv_answer;

static trv_channel trv_channels[TRV_K_MAX_CHANNELS];
static trv_handler trv_handlers[TRV_K_MAX_HANDLERS];
static int trv_handler_count;
static trv_answer trv_answers[TRV_K_MAX_PENDING];
static int trv_answer_count;
static int trv_sut_started;

static pthread_mutex_t trv_channel_lock;
static pthread_once_t trv_channel_once = PTHREAD_ONCE_INIT;

/* Handlers answer from inside the calls that serve them: the lock nests. */
static void trv_lock_init(void)
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&trv_channel_lock, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

static void trv_lock(void)
{
    pthread_once(&trv_channel_once, trv_lock_init);
    pthread_mutex_lock(&trv_channel_lock);
}

static void trv_unlock(void)
{
    pthread_mutex_unlock(&trv_channel_lock);
}

/* ---- Byte buffers and frames ------------------------------------------------- */

static int trv_bytes_reserve(trv_bytes *bytes, size_t wanted)
{
    unsigned char *grown;
    size_t capacity = bytes->capacity == 0 ? 1024 : bytes->capacity;
    if (wanted <= bytes->capacity) {
        return 1;
    }
    while (capacity < wanted) {
        capacity *= 2;
    }
    grown = realloc(bytes->data, capacity);
    if (grown == NULL) {
        return 0;
    }
    bytes->data = grown;
    bytes->capacity = capacity;
    return 1;
}

static void trv_bytes_consume(trv_bytes *bytes, size_t count)
{
    memmove(bytes->data, bytes->data + count, bytes->used - count);
    bytes->used -= count;
}

static void trv_bytes_release(trv_bytes *bytes)
{
    free(bytes->data);
    memset(bytes, 0, sizeof *bytes);
}

static void trv_put_u32(unsigned char *out, unsigned long value)
{
    out[0] = (unsigned char)(value >> 24);
    out[1] = (unsigned char)(value >> 16);
    out[2] = (unsigned char)(value >> 8);
    out[3] = (unsigned char)value;
}

static unsigned long trv_get_u32(const unsigned char *in)
{
    return ((unsigned long)in[0] << 24) | ((unsigned long)in[1] << 16) | ((unsigned long)in[2] << 8) |
           (unsigned long)in[3];
}

/* A frame of the message in freshly allocated memory. */
static unsigned char *trv_frame(TRV_T_INT type, const void *data, size_t size)
{
    unsigned char *frame = malloc(TRV_K_FRAME_HEADER + size);
    if (frame == NULL) {
        return NULL;
    }
    trv_put_u32(frame, (unsigned long)(size + 4));
    trv_put_u32(frame + 4, (unsigned long)(unsigned int)type);
    if (size > 0) {
        memcpy(frame + TRV_K_FRAME_HEADER, data, size);
    }
    return frame;
}

/* 1 when a whole frame is at the front (its size in *size), 0 when more
 * bytes are needed, -1 when the front cannot be a frame (fault set). */
static int trv_frame_ready(const trv_bytes *in, size_t *size, char *fault, size_t fault_size)
{
    unsigned long length;
    if (in->used < 4) {
        return 0;
    }
    length = trv_get_u32(in->data);
    if (length < 4) {
        snprintf(fault, fault_size, "short message: a frame of %lu bytes has no message type", length);
        return -1;
    }
    if (length - 4 > TRV_K_MAX_MESSAGE) {
        snprintf(fault, fault_size, "oversized message: %lu bytes, the limit is %d", length - 4,
                 TRV_K_MAX_MESSAGE);
        return -1;
    }
    if (in->used < 4 + length) {
        return 0;
    }
    *size = 4 + length;
    return 1;
}

/* Reads what the stream holds now, without waiting.  Returns 0 when the
 * memory ran out. */
static int trv_read_available(int fd, trv_bytes *in, int *closed)
{
    for (;;) {
        ssize_t count;
        if (in->used >= 2 * (TRV_K_FRAME_HEADER + TRV_K_MAX_MESSAGE)) {
            return 1; /* enough for now: the frames in front are taken first */
        }
        if (!trv_bytes_reserve(in, in->used + 4096)) {
            return 0;
        }
        count = recv(fd, in->data + in->used, in->capacity - in->used, MSG_DONTWAIT);
        if (count > 0) {
            in->used += (size_t)count;
        } else if (count == 0) {
            *closed = 1;
            return 1;
        } else if (errno == EINTR) {
            continue;
        } else {
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                *closed = 1;
            }
            return 1;
        }
    }
}

/* ---- The table of channels ------------------------------------------------------ */

static trv_channel *trv_find(TRV_T_INT id)
{
    int i;
    for (i = 0; i < TRV_K_MAX_CHANNELS; ++i) {
        if (trv_channels[i].open && trv_channels[i].fd == id) {
            return &trv_channels[i];
        }
    }
    return NULL;
}

static trv_channel *trv_find_named(const char *name)
{
    int i;
    for (i = 0; i < TRV_K_MAX_CHANNELS; ++i) {
        if (trv_channels[i].open && strcmp(trv_channels[i].name, name) == 0) {
            return &trv_channels[i];
        }
    }
    return NULL;
}

static trv_channel *trv_free_slot(void)
{
    int i;
    for (i = 0; i < TRV_K_MAX_CHANNELS; ++i) {
        if (!trv_channels[i].open) {
            return &trv_channels[i];
        }
    }
    return NULL;
}

static void trv_channel_fault(trv_channel *channel, const char *fault)
{
    trv_fail_current("channel %s: %s", channel->name, fault);
}

static void trv_close_channel(trv_channel *channel)
{
    int i;
    if (channel->fd >= 0) {
        close(channel->fd);
    }
    if (channel->sut_fd >= 0) {
        close(channel->sut_fd);
    }
    trv_bytes_release(&channel->in);
    trv_bytes_release(&channel->sut_in);
    for (i = 0; i < trv_answer_count; ++i) {
        if (trv_answers[i].channel == (int)(channel - trv_channels)) {
            trv_answers[i].channel = -1;
        }
    }
    memset(channel, 0, sizeof *channel);
    channel->fd = -1;
    channel->sut_fd = -1;
}

/* ---- Addresses of real systems ---------------------------------------------------- */

/* QVM_CHANNEL_<NAME>, the name in upper case with other characters than
 * letters and digits as '_'. */
static int trv_address_from_environment(const char *channel, char *address, size_t size)
{
    char variable[TRV_K_CHANNEL_NAME + 16];
    const char *value;
    size_t at = (size_t)snprintf(variable, sizeof variable, "QVM_CHANNEL_");
    size_t i;
    for (i = 0; channel[i] != '\0' && at + 1 < sizeof variable; ++i) {
        unsigned char c = (unsigned char)channel[i];
        variable[at++] = isalnum(c) ? (char)toupper(c) : '_';
    }
    variable[at] = '\0';
    value = getenv(variable);
    if (value == NULL || value[0] == '\0') {
        return 0;
    }
    snprintf(address, size, "%s", value);
    return 1;
}

/* The file named by QVM_CHANNEL_FILE: lines "<channel> <host>:<port>",
 * blank lines and lines starting with '#' ignored. */
static int trv_address_from_file(const char *channel, char *address, size_t size)
{
    const char *path = getenv("QVM_CHANNEL_FILE");
    char line[TRV_K_CONFIG_LINE];
    FILE *file;
    int found = 0;
    if (path == NULL || path[0] == '\0' || (file = fopen(path, "r")) == NULL) {
        return 0;
    }
    while (!found && fgets(line, sizeof line, file) != NULL) {
        char name[TRV_K_CHANNEL_NAME];
        char value[TRV_K_ADDRESS_SIZE];
        if (line[0] == '#' || sscanf(line, "%63s %255s", name, value) != 2) {
            continue;
        }
        if (strcmp(name, channel) == 0) {
            snprintf(address, size, "%s", value);
            found = 1;
        }
    }
    fclose(file);
    return found;
}

static int trv_wait_ready(int fd, short events, int timeout)
{
    struct pollfd waited;
    int ready;
    waited.fd = fd;
    waited.events = events;
    waited.revents = 0;
    do {
        ready = poll(&waited, 1, timeout);
    } while (ready < 0 && errno == EINTR);
    return ready;
}

/* A port: a decimal number from 1 to 65535. */
static int trv_valid_port(const char *text)
{
    unsigned long value = 0;
    size_t i;
    for (i = 0; text[i] != '\0'; ++i) {
        if (text[i] < '0' || text[i] > '9' || i >= 5) {
            return 0;
        }
        value = value * 10 + (unsigned long)(text[i] - '0');
    }
    return i > 0 && value >= 1 && value <= 65535;
}

/* Splits "<host>:<port>" or "[<IPv6 address>]:<port>" into host and port;
 * 0 with the reason when the address has neither form. */
static int trv_split_address(const char *address, char *host, size_t host_size, const char **port, char *reason,
                             size_t size)
{
    const char *host_start = address;
    const char *host_end;
    const char *colon;
    if (address[0] == '[') {
        host_start = address + 1;
        host_end = strchr(host_start, ']');
        colon = host_end != NULL && host_end[1] == ':' ? host_end + 1 : NULL;
    } else {
        colon = strrchr(address, ':');
        host_end = colon;
        if (colon != NULL && memchr(address, ':', (size_t)(colon - address)) != NULL) {
            snprintf(reason, size, "the address \"%.120s\" has an IPv6 host: write it in brackets, [host]:port",
                     address);
            return 0;
        }
    }
    if (colon == NULL || host_end == host_start || (size_t)(host_end - host_start) >= host_size) {
        snprintf(reason, size, "the address \"%.120s\" is not <host>:<port> or [<IPv6 host>]:<port>", address);
        return 0;
    }
    if (!trv_valid_port(colon + 1)) {
        snprintf(reason, size, "the port \"%.20s\" of \"%.120s\" is not a number from 1 to 65535", colon + 1,
                 address);
        return 0;
    }
    snprintf(host, host_size, "%.*s", (int)(host_end - host_start), host_start);
    *port = colon + 1;
    return 1;
}

/* A connected socket to "<host>:<port>", or -1 with the reason. */
static int trv_connect(const char *address, char *reason, size_t size)
{
    char host[TRV_K_ADDRESS_SIZE];
    const char *port = NULL;
    struct addrinfo hints;
    struct addrinfo *found = NULL;
    struct addrinfo *candidate;
    int fd = -1;
    int status;
    if (!trv_split_address(address, host, sizeof host, &port, reason, size)) {
        return -1;
    }
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    status = getaddrinfo(host, port, &hints, &found);
    if (status != 0) {
        snprintf(reason, size, "%s", gai_strerror(status));
        return -1;
    }
    snprintf(reason, size, "no address");
    for (candidate = found; candidate != NULL && fd < 0; candidate = candidate->ai_next) {
        int error = 0;
        socklen_t length = sizeof error;
        fd = socket(candidate->ai_family, candidate->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                    candidate->ai_protocol);
        if (fd < 0) {
            snprintf(reason, size, "%s", strerror(errno));
            continue;
        }
        if (connect(fd, candidate->ai_addr, candidate->ai_addrlen) != 0 && errno != EINPROGRESS) {
            error = errno;
        } else if (trv_wait_ready(fd, POLLOUT, TRV_K_IO_TIMEOUT) <= 0) {
            error = ETIMEDOUT;
        } else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
            error = errno;
        }
        if (error != 0) {
            snprintf(reason, size, "%s", strerror(error));
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    return fd;
}

/* ---- In-process system under test ---------------------------------------------- */

static const trv_handler *trv_handler_for(const char *channel)
{
    int i;
    for (i = 0; i < trv_handler_count; ++i) {
        if (!trv_handlers[i].any_channel && strcmp(trv_handlers[i].channel, channel) == 0) {
            return &trv_handlers[i];
        }
    }
    for (i = 0; i < trv_handler_count; ++i) {
        if (trv_handlers[i].any_channel) {
            return &trv_handlers[i];
        }
    }
    return NULL;
}

void trv_sut_register(const char *channel, TRV_T_SUT_HANDLER handler, void *user)
{
    trv_handler *entry;
    trv_lock();
    if (trv_handler_count == TRV_K_MAX_HANDLERS) {
        trv_unlock();
        trv_fail_current("system under test: too many handlers registered (at most %d)", TRV_K_MAX_HANDLERS);
        return;
    }
    entry = &trv_handlers[trv_handler_count++];
    entry->any_channel = channel == NULL;
    snprintf(entry->channel, sizeof entry->channel, "%s", channel != NULL ? channel : "");
    entry->handler = handler;
    entry->user = user;
    trv_unlock();
}

/* The messages that reached the system's end are handed to its handler. */
static void trv_sut_receive(trv_channel *channel)
{
    const trv_handler *handler = trv_handler_for(channel->name);
    char fault[128];
    size_t size;
    int closed = 0;
    if (channel->sut_fd < 0) {
        return;
    }
    trv_read_available(channel->sut_fd, &channel->sut_in, &closed);
    while (channel->open && trv_frame_ready(&channel->sut_in, &size, fault, sizeof fault) == 1) {
        unsigned char *frame = malloc(size);
        if (frame == NULL) {
            return;
        }
        memcpy(frame, channel->sut_in.data, size);
        trv_bytes_consume(&channel->sut_in, size);
        if (handler != NULL) {
            handler->handler(channel->name, (TRV_T_INT)trv_get_u32(frame + 4), frame + TRV_K_FRAME_HEADER,
                             size - TRV_K_FRAME_HEADER, handler->user);
        }
        free(frame);
    }
}

static TRV_T_INT trv_queue(const char *channel_name, unsigned char *bytes, size_t size, int close_it,
                           TRV_T_UTIME delay)
{
    trv_channel *channel;
    trv_answer *answer;
    trv_lock();
    channel = trv_find_named(channel_name);
    if (channel == NULL || channel->sut_fd < 0) {
        trv_unlock();
        free(bytes);
        trv_fail_current("system under test: channel %s is not open to it", channel_name);
        return 1;
    }
    if (trv_answer_count == TRV_K_MAX_PENDING) {
        trv_unlock();
        free(bytes);
        trv_fail_current("system under test: too many answers waiting (at most %d)", TRV_K_MAX_PENDING);
        return 1;
    }
    answer = &trv_answers[trv_answer_count++];
    answer->due = trv_now_ms() + delay;
    answer->channel = (int)(channel - trv_channels);
    answer->close = close_it;
    answer->bytes = bytes;
    answer->size = size;
    answer->sent = 0;
    trv_unlock();
    if (delay == 0) {
        trv_sut_serve();
    }
    return 0;
}

TRV_T_INT trv_sut_answer(const char *channel, TRV_T_INT type, const void *data, size_t size, TRV_T_UTIME delay)
{
    unsigned char *frame;
    if (size > TRV_K_MAX_MESSAGE) {
        trv_fail_current("system under test: an answer of %lu bytes exceeds the limit of %d", (unsigned long)size,
                         TRV_K_MAX_MESSAGE);
        return 1;
    }
    frame = trv_frame(type, data, size);
    if (frame == NULL) {
        trv_fail_current("system under test: out of memory");
        return 1;
    }
    return trv_queue(channel, frame, TRV_K_FRAME_HEADER + size, 0, delay);
}

TRV_T_INT trv_sut_answer_raw(const char *channel, const void *bytes, size_t size, TRV_T_UTIME delay)
{
    unsigned char *copy = malloc(size > 0 ? size : 1);
    if (copy == NULL) {
        trv_fail_current("system under test: out of memory");
        return 1;
    }
    memcpy(copy, bytes, size);
    return trv_queue(channel, copy, size, 0, delay);
}

void trv_sut_close(const char *channel, TRV_T_UTIME delay)
{
    trv_queue(channel, NULL, 0, 1, delay);
}

/* Writes what it can of a due answer; 1 when the answer is done with. */
static int trv_deliver(trv_answer *answer)
{
    trv_channel *channel = answer->channel >= 0 ? &trv_channels[answer->channel] : NULL;
    if (channel == NULL || !channel->open || channel->sut_fd < 0) {
        return 1;
    }
    if (answer->close) {
        close(channel->sut_fd);
        channel->sut_fd = -1;
        return 1;
    }
    while (answer->sent < answer->size) {
        ssize_t count = send(channel->sut_fd, answer->bytes + answer->sent, answer->size - answer->sent,
                             MSG_DONTWAIT | MSG_NOSIGNAL);
        if (count > 0) {
            answer->sent += (size_t)count;
        } else if (count < 0 && errno == EINTR) {
            continue;
        } else if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return 0;
        } else {
            return 1; /* the tester's end is gone */
        }
    }
    return 1;
}

/* Earlier answers on a channel go first, even when a later one is due sooner. */
static int trv_blocked_by_earlier(int index)
{
    int i;
    for (i = 0; i < index; ++i) {
        if (trv_answers[i].channel == trv_answers[index].channel) {
            return 1;
        }
    }
    return 0;
}

void trv_sut_serve(void)
{
    TRV_T_UTIME now = trv_now_ms();
    int i = 0;
    trv_lock();
    while (i < trv_answer_count) {
        trv_answer *answer = &trv_answers[i];
        if (answer->due <= now && !trv_blocked_by_earlier(i) && trv_deliver(answer)) {
            free(answer->bytes);
            memmove(answer, answer + 1, sizeof *answer * (size_t)(trv_answer_count - i - 1));
            --trv_answer_count;
        } else {
            ++i;
        }
    }
    trv_unlock();
}

/* ---- Channels for PROCSEND and CALLBACK bodies -------------------------------------- */

static TRV_T_INT trv_open_tcp(trv_channel *slot, const char *name, const char *address)
{
    char reason[256];
    int fd = trv_connect(address, reason, sizeof reason);
    if (fd < 0) {
        trv_fail_current("channel %s: cannot connect to %s (%s)", name, address, reason);
        return -1;
    }
    slot->open = 1;
    slot->fd = fd;
    slot->sut_fd = -1;
    snprintf(slot->name, sizeof slot->name, "%s", name);
    trv_trace_current(TRV_K_TRACE_DETAIL, "CHANNEL  %s connected to %s", name, address);
    return fd;
}

static TRV_T_INT trv_open_loopback(trv_channel *slot, const char *name)
{
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0) {
        trv_fail_current("channel %s: no socket pair for the system under test (%s)", name, strerror(errno));
        return -1;
    }
    slot->open = 1;
    slot->fd = ends[0];
    slot->sut_fd = ends[1];
    snprintf(slot->name, sizeof slot->name, "%s", name);
    trv_trace_current(TRV_K_TRACE_DETAIL, "CHANNEL  %s served by the in-process system under test", name);
    return ends[0];
}

TRV_T_INT trv_channel_open(const char *name)
{
    char address[TRV_K_ADDRESS_SIZE];
    trv_channel *slot;
    TRV_T_INT id = -1;
    if (name == NULL || name[0] == '\0' || strlen(name) >= TRV_K_CHANNEL_NAME) {
        trv_fail_current("channel name \"%.64s\" is empty or longer than %d characters", name ? name : "",
                         TRV_K_CHANNEL_NAME - 1);
        return -1;
    }
    trv_lock();
    slot = trv_find_named(name);
    if (slot != NULL && !slot->broken) {
        id = slot->fd;
    } else if (slot != NULL) {
        trv_close_channel(slot);
        slot = NULL;
    }
    if (id < 0 && (slot = trv_free_slot()) == NULL) {
        trv_fail_current("channel %s: too many channels open (at most %d)", name, TRV_K_MAX_CHANNELS);
    } else if (id < 0 && (trv_address_from_environment(name, address, sizeof address) ||
                          trv_address_from_file(name, address, sizeof address))) {
        id = trv_open_tcp(slot, name, address);
    } else if (id < 0 && trv_handler_for(name) != NULL) {
        id = trv_open_loopback(slot, name);
    } else if (id < 0) {
        trv_fail_current("no system under test for channel %s", name);
    }
    trv_unlock();
    return id;
}

void trv_channel_close(TRV_T_INT id)
{
    trv_channel *channel;
    trv_lock();
    channel = trv_find(id);
    if (channel != NULL) {
        trv_close_channel(channel);
    }
    trv_unlock();
}

/* Sends the whole frame within the time-out; the in-process system reads
 * meanwhile, so that a full socket pair never stops the sending. */
static int trv_write_frame(trv_channel *channel, const unsigned char *frame, size_t size)
{
    size_t sent = 0;
    TRV_T_UTIME start = trv_now_ms();
    while (sent < size) {
        ssize_t count = send(channel->fd, frame + sent, size - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (count > 0) {
            sent += (size_t)count;
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            TRV_T_UTIME waited = trv_now_ms() - start;
            if (waited >= TRV_K_IO_TIMEOUT) {
                trv_channel_fault(channel, "the system under test takes no more bytes (send time-out)");
                return 1;
            }
            trv_sut_receive(channel);
            trv_wait_ready(channel->fd, POLLOUT, (int)(TRV_K_IO_TIMEOUT - waited));
            continue;
        }
        trv_channel_fault(channel, "the system under test closed the connection");
        channel->broken = 1;
        return 1;
    }
    return 0;
}

TRV_T_INT trv_channel_send(TRV_T_INT id, TRV_T_INT type, const void *data, size_t size)
{
    trv_channel *channel;
    unsigned char *frame;
    TRV_T_INT failed;
    trv_lock();
    channel = trv_find(id);
    if (channel == NULL) {
        trv_unlock();
        trv_fail_current("send on connection identifier %d, which is no open channel", (int)id);
        return 1;
    }
    if (channel->broken) {
        trv_channel_fault(channel, "send on a channel that failed before");
        trv_unlock();
        return 1;
    }
    if (size > TRV_K_MAX_MESSAGE) {
        char fault[128];
        snprintf(fault, sizeof fault, "oversized message: %lu bytes, the limit is %d", (unsigned long)size,
                 TRV_K_MAX_MESSAGE);
        trv_channel_fault(channel, fault);
        trv_unlock();
        return 1;
    }
    frame = trv_frame(type, data, size);
    if (frame == NULL) {
        trv_channel_fault(channel, "out of memory");
        trv_unlock();
        return 1;
    }
    trv_trace_current(TRV_K_TRACE_DETAIL, "CHANNEL  %s sends type %d, %lu bytes", channel->name, (int)type,
                      (unsigned long)size);
    failed = trv_write_frame(channel, frame, TRV_K_FRAME_HEADER + size);
    free(frame);
    if (!failed) {
        trv_sut_receive(channel);
    }
    trv_unlock();
    return failed;
}

/* Takes the message in front of the channel's bytes when it is whole. */
static TRV_T_INT trv_take_message(trv_channel *channel, TRV_T_INT *type, void *buffer, size_t size)
{
    char fault[160];
    size_t frame_size = 0;
    int ready = trv_frame_ready(&channel->in, &frame_size, fault, sizeof fault);
    if (ready < 0) {
        channel->broken = 1;
        trv_channel_fault(channel, fault);
        return 1;
    }
    if (ready > 0) {
        size_t payload = frame_size - TRV_K_FRAME_HEADER;
        TRV_T_INT received_type = (TRV_T_INT)trv_get_u32(channel->in.data + 4);
        if (payload != size) {
            snprintf(fault, sizeof fault, "%s message of type %d: %lu bytes where %lu are expected",
                     payload < size ? "short" : "oversized", (int)received_type, (unsigned long)payload,
                     (unsigned long)size);
            trv_bytes_consume(&channel->in, frame_size);
            trv_channel_fault(channel, fault);
            return 1;
        }
        if (size > 0) {
            memcpy(buffer, channel->in.data + TRV_K_FRAME_HEADER, size);
        }
        if (type != NULL) {
            *type = received_type;
        }
        trv_bytes_consume(&channel->in, frame_size);
        trv_trace_current(TRV_K_TRACE_DETAIL, "CHANNEL  %s receives type %d, %lu bytes", channel->name,
                          (int)received_type, (unsigned long)size);
        return TRV_MESSAGE_READ;
    }
    if (channel->closed) {
        channel->broken = 1;
        if (channel->in.used > 0) {
            snprintf(fault, sizeof fault, "short message: the connection closed after %lu bytes of a message",
                     (unsigned long)channel->in.used);
            trv_channel_fault(channel, fault);
        } else {
            trv_channel_fault(channel, "the system under test closed the connection");
        }
        return 1;
    }
    return TRV_NO_MESSAGE;
}

TRV_T_INT trv_channel_receive(TRV_T_INT id, TRV_T_INT *type, void *buffer, size_t size)
{
    trv_channel *channel;
    TRV_T_INT result;
    trv_sut_serve();
    trv_lock();
    channel = trv_find(id);
    if (channel == NULL) {
        trv_unlock();
        trv_fail_current("receive on connection identifier %d, which is no open channel", (int)id);
        return 1;
    }
    if (channel->broken) {
        trv_unlock();
        return 1;
    }
    if (!trv_read_available(channel->fd, &channel->in, &channel->closed)) {
        channel->broken = 1;
        trv_channel_fault(channel, "out of memory");
        trv_unlock();
        return 1;
    }
    result = trv_take_message(channel, type, buffer, size);
    trv_unlock();
    return result;
}

TRV_T_INT trv_pollevt(const TRV_T_INT *ids, TRV_T_INT count)
{
    TRV_T_INT found = 0;
    TRV_T_INT i;
    trv_sut_serve();
    trv_lock();
    for (i = 0; i < count && found == 0; ++i) {
        trv_channel *channel = trv_find(ids[i]);
        char fault[160];
        size_t size;
        if (channel == NULL || channel->broken) {
            continue;
        }
        trv_read_available(channel->fd, &channel->in, &channel->closed);
        if (channel->closed || trv_frame_ready(&channel->in, &size, fault, sizeof fault) != 0) {
            found = ids[i];
        }
    }
    trv_unlock();
    return found;
}

/* ---- Run start and end -------------------------------------------------------------- */

void trv_channels_start(TRV_T_RUNCTX *run)
{
    int first;
    (void)run;
    trv_lock();
    first = !trv_sut_started;
    trv_sut_started = 1;
    trv_unlock();
    if (first && trv_sut_init != NULL) {
        trv_sut_init();
    }
}

void trv_channels_release(void)
{
    int i;
    trv_lock();
    for (i = 0; i < TRV_K_MAX_CHANNELS; ++i) {
        if (trv_channels[i].open) {
            trv_close_channel(&trv_channels[i]);
        }
    }
    for (i = 0; i < trv_answer_count; ++i) {
        free(trv_answers[i].bytes);
    }
    trv_answer_count = 0;
    trv_unlock();
}
