// SPDX-License-Identifier: GPL-3.0-or-later
// A plain libmodbus MODBUS TCP server: the peer kv770-sim's TCP service is
// measured against in scripts/bench. One thread, select() over the listener
// and every client, modbus_receive and modbus_reply on each ready client.
// Prints "listening on 127.0.0.1:PORT" once it accepts, and ends when its
// stdin closes or after SECONDS (60 unless told), so no bench leaves it
// behind.
//
//   kv770-libmodbus-server [PORT] [SECONDS]
#include <modbus.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  const int port = argc > 1 ? std::atoi(argv[1]) : 0;
  const double seconds = argc > 2 ? std::atof(argv[2]) : 60.0;

  // Meter registers and more, none of them zero.
  modbus_mapping_t* mapping = modbus_mapping_new(0, 0, 1000, 0);
  if (!mapping) return 1;
  for (int r = 0; r < mapping->nb_registers; ++r)
    mapping->tab_registers[r] = static_cast<std::uint16_t>(0x4100 + r);

  modbus_t* ctx = modbus_new_tcp("127.0.0.1", port);
  if (!ctx) return 1;
  const int listener = modbus_tcp_listen(ctx, 64);
  if (listener < 0) {
    std::fprintf(stderr, "listen: %s\n", modbus_strerror(errno));
    return 1;
  }
  sockaddr_in bound{};
  socklen_t size = sizeof bound;
  getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &size);
  std::printf("listening on 127.0.0.1:%d\n", ntohs(bound.sin_port));
  std::fflush(stdout);

  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                   std::chrono::duration<double>(seconds));
  std::vector<int> clients;
  std::uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
  while (Clock::now() < end) {
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(listener, &ready);
    int highest = listener;
    FD_SET(STDIN_FILENO, &ready);
    for (int fd : clients) {
      FD_SET(fd, &ready);
      if (fd > highest) highest = fd;
    }
    timeval wait{0, 200000};
    if (select(highest + 1, &ready, nullptr, nullptr, &wait) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (FD_ISSET(STDIN_FILENO, &ready)) {
      char byte;
      if (read(STDIN_FILENO, &byte, 1) <= 0) break;  // stdin closed: done
    }
    if (FD_ISSET(listener, &ready)) {
      const int fd = accept(listener, nullptr, nullptr);
      if (fd >= 0 && fd < FD_SETSIZE)
        clients.push_back(fd);
      else if (fd >= 0)
        close(fd);
    }
    for (std::size_t i = 0; i < clients.size();) {
      const int fd = clients[i];
      if (!FD_ISSET(fd, &ready)) {
        ++i;
        continue;
      }
      modbus_set_socket(ctx, fd);
      const int length = modbus_receive(ctx, query);
      if (length > 0) {
        modbus_reply(ctx, query, length, mapping);
      } else if (length < 0) {  // the client left, or sent garbage
        close(fd);
        clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(i));
        continue;
      }
      ++i;
    }
  }
  for (int fd : clients) close(fd);
  close(listener);
  modbus_free(ctx);
  modbus_mapping_free(mapping);
  return 0;
}
