/* The system under test of the round-trip benchmark: echoes every ping of
 * each connection, one connection after the other, and writes the port it
 * listens on to standard output. Ends on SIGTERM. */
#include "rtt.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

int main(void)
{
    struct sockaddr_in address;
    socklen_t length = sizeof address;
    int on = 1;
    int server = socket(AF_INET, SOCK_STREAM, 0);
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    setsockopt(server, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (server < 0 || bind(server, (struct sockaddr *)&address, sizeof address) != 0 || listen(server, 4) != 0 ||
        getsockname(server, (struct sockaddr *)&address, &length) != 0) {
        perror("echo_server");
        return 1;
    }
    printf("%d\n", ntohs(address.sin_port));
    fflush(stdout);
    for (;;) {
        ping_t ping;
        int client = accept(server, NULL, NULL);
        if (client < 0) {
            continue;
        }
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        while (recv(client, &ping, sizeof ping, MSG_WAITALL) == (ssize_t)sizeof ping) {
            if (send(client, &ping, sizeof ping, 0) != (ssize_t)sizeof ping) {
                break;
            }
        }
        close(client);
    }
}
