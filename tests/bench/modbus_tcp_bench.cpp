// SPDX-License-Identifier: GPL-3.0-or-later
// Turn-around of a MODBUS TCP server (kv770-sim, or the libmodbus peer) as
// libmodbus clients see it: CONNECTIONS clients at once, each in a thread of
// its own with its own connection, read slave 1's ten registers from 0 over
// and over, one request outstanding each, for a while. Prints the total
// rate, the requests answered and the median latency, one "name value" line each.
//
//   kv770-modbus-bench HOST PORT [SECONDS] [CONNECTIONS]
#include <modbus.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Client {
  std::vector<double> latenciesUs;
  double elapsed = 0;
  bool failed = false;
};

void Run(const char* host, int port, double seconds, std::atomic<int>& connected, int all,
         Client& client) {
  modbus_t* ctx = modbus_new_tcp(host, port);
  if (!ctx) {
    client.failed = true;
    ++connected;
    return;
  }
  modbus_set_slave(ctx, 1);
  if (modbus_connect(ctx) != 0) {
    std::fprintf(stderr, "connect: %s\n", modbus_strerror(errno));
    client.failed = true;
  }
  // Every client starts once all are connected, so they overlap throughout.
  ++connected;
  while (connected.load() < all) std::this_thread::yield();
  std::uint16_t regs[10];
  const Clock::time_point start = Clock::now();
  Clock::time_point now = start;
  while (!client.failed && std::chrono::duration<double>(now - start).count() < seconds) {
    const Clock::time_point sent = Clock::now();
    if (modbus_read_registers(ctx, 0, 10, regs) != 10) {
      std::fprintf(stderr, "read: %s\n", modbus_strerror(errno));
      client.failed = true;
      break;
    }
    now = Clock::now();
    client.latenciesUs.push_back(std::chrono::duration<double, std::micro>(now - sent).count());
  }
  client.elapsed = std::chrono::duration<double>(now - start).count();
  modbus_close(ctx);
  modbus_free(ctx);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s HOST PORT [SECONDS] [CONNECTIONS]\n", argv[0]);
    return 2;
  }
  const double seconds = argc > 3 ? std::atof(argv[3]) : 3.0;
  const int connections = argc > 4 ? std::max(1, std::atoi(argv[4])) : 1;

  std::vector<Client> clients(static_cast<std::size_t>(connections));
  std::atomic<int> connected{0};
  std::vector<std::thread> threads;
  for (Client& client : clients)
    threads.emplace_back(Run, argv[1], std::atoi(argv[2]), seconds, std::ref(connected),
                         connections, std::ref(client));
  for (std::thread& thread : threads) thread.join();

  double rate = 0;
  std::size_t requests = 0;
  std::vector<double> latenciesUs;
  for (const Client& client : clients) {
    if (client.failed || client.latenciesUs.empty()) return 1;
    rate += static_cast<double>(client.latenciesUs.size()) / client.elapsed;
    requests += client.latenciesUs.size();
    latenciesUs.insert(latenciesUs.end(), client.latenciesUs.begin(), client.latenciesUs.end());
  }
  std::nth_element(latenciesUs.begin(), latenciesUs.begin() + latenciesUs.size() / 2,
                   latenciesUs.end());
  std::printf("modbus_tcp_rps %.1f\n", rate);
  std::printf("modbus_tcp_requests %zu\n", requests);
  std::printf("modbus_tcp_latency_us %.0f\n", latenciesUs[latenciesUs.size() / 2]);
  return 0;
}
