/*
 * The gateway's tester link served over TCP, for runs of can_gateway.pts
 * against a real transport instead of the in-process gateway:
 *
 *     can_gateway_server [--close-on <service>]
 *     QVM_CHANNEL_TESTER=127.0.0.1:<port> ./can_gateway -RIO=can_gateway
 *
 * It listens on 127.0.0.1, on a port of the system's choice, and writes
 * "port <n>" on its standard output once it accepts connections. It serves
 * one connection at a time, in the test runtime's frame format (length and
 * type, 4 bytes big-endian each, then the bytes), with the services of
 * can_gateway_services.h; the bench car's engine turns, so routing table
 * writes are refused and drop the link, as the gateway does.
 * --close-on <service> (a number, such as 0x22) closes the connection when
 * a request of that service comes, without answering it. The server ends
 * when no tester connected for IDLE_LIMIT_MS.
 */
#define _POSIX_C_SOURCE 200809L
#include "can_gateway_services.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#define IDLE_LIMIT_MS 30000
#define FRAME_HEADER 8

static int read_all(int fd, unsigned char *buffer, size_t size)
{
    size_t done = 0;
    while (done < size) {
        ssize_t count = read(fd, buffer + done, size - done);
        if (count <= 0) {
            return 0;
        }
        done += (size_t)count;
    }
    return 1;
}

static int write_all(int fd, const unsigned char *buffer, size_t size)
{
    size_t done = 0;
    while (done < size) {
        ssize_t count = write(fd, buffer + done, size - done);
        if (count <= 0) {
            return 0;
        }
        done += (size_t)count;
    }
    return 1;
}

static void put_u32(unsigned char *out, uint32_t value)
{
    out[0] = (unsigned char)(value >> 24);
    out[1] = (unsigned char)(value >> 16);
    out[2] = (unsigned char)(value >> 8);
    out[3] = (unsigned char)value;
}

static uint32_t get_u32(const unsigned char *in)
{
    return (uint32_t)in[0] << 24 | (uint32_t)in[1] << 16 | (uint32_t)in[2] << 8 | (uint32_t)in[3];
}

/* One request frame; 0 when the tester closed the link or sent something
   else than a whole request. */
static int read_request(int fd, diag_request_t *request)
{
    unsigned char header[FRAME_HEADER];
    if (!read_all(fd, header, sizeof header)) {
        return 0;
    }
    if (get_u32(header) != 4 + sizeof *request || get_u32(header + 4) != GW_LINK_REQUEST) {
        return 0;
    }
    return read_all(fd, (unsigned char *)request, sizeof *request);
}

static int send_response(int fd, const diag_response_t *response)
{
    unsigned char frame[FRAME_HEADER + sizeof *response];
    put_u32(frame, 4 + sizeof *response);
    put_u32(frame + 4, GW_LINK_RESPONSE);
    memcpy(frame + FRAME_HEADER, response, sizeof *response);
    return write_all(fd, frame, sizeof frame);
}

/* Serves one tester until it leaves, the link drops, or the request that
   closes it comes. */
static void serve(int fd, int close_on)
{
    diag_request_t request;
    while (read_request(fd, &request)) {
        diag_response_t response;
        if (request.service == close_on) {
            return;
        }
        int drop = gw_answer_request(&request, 1, &response);
        if (!send_response(fd, &response) || drop) {
            return;
        }
    }
}

static int listen_on_loopback(void)
{
    struct sockaddr_in address;
    socklen_t length = sizeof address;
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return -1;
    }
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (bind(fd, (struct sockaddr *)&address, sizeof address) != 0 || listen(fd, 4) != 0 ||
        getsockname(fd, (struct sockaddr *)&address, &length) != 0) {
        close(fd);
        return -1;
    }
    printf("port %u\n", (unsigned)ntohs(address.sin_port));
    fflush(stdout);
    return fd;
}

int main(int argc, char **argv)
{
    int close_on = -1;
    if (argc == 3 && strcmp(argv[1], "--close-on") == 0) {
        close_on = (int)strtol(argv[2], NULL, 0);
    } else if (argc != 1) {
        fprintf(stderr, "usage: %s [--close-on <service>]\n", argv[0]);
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    int listener = listen_on_loopback();
    if (listener < 0) {
        perror("can_gateway_server");
        return 1;
    }
    struct pollfd waiting = {listener, POLLIN, 0};
    while (poll(&waiting, 1, IDLE_LIMIT_MS) > 0) {
        int tester = accept(listener, NULL, NULL);
        if (tester >= 0) {
            serve(tester, close_on);
            close(tester);
        }
    }
    close(listener);
    return 0;
}
