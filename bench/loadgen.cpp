// SNTP load generator for the benchmarks: sends valid client requests to one
// server at a steady rate for a while, and counts the replies that answer
// them (each request carries its sequence number as transmit timestamp,
// which a server echoes as originate timestamp).
//
//   loadgen ADDRESS PORT RATE SECONDS
//
// Prints: "sent N replies M lost L rate R": R is the send rate achieved.
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <vector>

namespace {

double Now()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

void Request(uint64_t sequence, uint8_t request[48])
{
    memset(request, 0, 48);
    request[0] = 0x23;  // version 4, mode 3
    for (int i = 0; i < 8; ++i) request[40 + i] = (uint8_t)(sequence >> (56 - 8 * i));
}

// Takes every reply waiting; marks the request that each one answers.
void Drain(int sock, std::vector<bool>* answered, uint64_t* replies)
{
    uint8_t reply[512];
    for (;;) {
        ssize_t n = recv(sock, reply, sizeof reply, MSG_DONTWAIT);
        if (n < 0) return;
        if (n < 48 || (reply[0] & 7) != 4) continue;
        uint64_t sequence = 0;
        for (int i = 0; i < 8; ++i) sequence = sequence << 8 | reply[24 + i];
        if (sequence < answered->size() && !(*answered)[sequence]) {
            (*answered)[sequence] = true;
            ++*replies;
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: loadgen ADDRESS PORT RATE SECONDS\n");
        return 2;
    }
    sockaddr_in server = {};
    server.sin_family = AF_INET;
    server.sin_port = htons((uint16_t)atoi(argv[2]));
    if (inet_pton(AF_INET, argv[1], &server.sin_addr) != 1) return 2;
    const double rate = atof(argv[3]), seconds = atof(argv[4]);

    int sock = socket(AF_INET, SOCK_DGRAM, 0);
    int buffer = 8 << 20;
    setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    setsockopt(sock, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    std::vector<bool> answered((size_t)(rate * seconds) + 1);
    uint64_t sent = 0, replies = 0;
    uint8_t request[48];

    const double start = Now();
    for (double now = start; now - start < seconds; now = Now()) {
        uint64_t due = (uint64_t)((now - start) * rate);
        while (sent < due && sent < answered.size()) {
            Request(sent, request);
            if (sendto(sock, request, sizeof request, MSG_DONTWAIT, (sockaddr*)&server, sizeof server) < 0) break;
            ++sent;
        }
        Drain(sock, &answered, &replies);
        if (sent >= due) usleep(100);
    }
    const double elapsed = Now() - start;
    // Late replies still count: a second for the server to catch up.
    for (double end = Now() + 1; Now() < end;) {
        Drain(sock, &answered, &replies);
        usleep(1000);
    }
    printf("sent %llu replies %llu lost %llu rate %.0f\n", (unsigned long long)sent, (unsigned long long)replies,
           (unsigned long long)(sent - replies), sent / elapsed);
    close(sock);
    return 0;
}
