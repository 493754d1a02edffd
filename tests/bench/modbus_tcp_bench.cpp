// SPDX-License-Identifier: GPL-3.0-or-later
// Turn-around of the simulator's MODBUS TCP side as a libmodbus client sees
// it: reads meter 1's ten registers over and over for a while and prints
// the rate and the median latency, one "name value" line each.
//
//   kv770-modbus-bench HOST PORT [SECONDS]
#include <modbus.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s HOST PORT [SECONDS]\n", argv[0]);
    return 2;
  }
  const double seconds = argc > 3 ? std::atof(argv[3]) : 3.0;
  modbus_t* ctx = modbus_new_tcp(argv[1], std::atoi(argv[2]));
  if (!ctx) return 1;
  modbus_set_slave(ctx, 1);
  if (modbus_connect(ctx) != 0) {
    std::fprintf(stderr, "connect: %s\n", modbus_strerror(errno));
    return 1;
  }

  using Clock = std::chrono::steady_clock;
  std::vector<double> latenciesUs;
  std::uint16_t regs[10];
  const Clock::time_point start = Clock::now();
  Clock::time_point now = start;
  while (std::chrono::duration<double>(now - start).count() < seconds) {
    const Clock::time_point sent = Clock::now();
    if (modbus_read_registers(ctx, 0, 10, regs) != 10) {
      std::fprintf(stderr, "read: %s\n", modbus_strerror(errno));
      return 1;
    }
    now = Clock::now();
    latenciesUs.push_back(std::chrono::duration<double, std::micro>(now - sent).count());
  }
  modbus_close(ctx);
  modbus_free(ctx);

  const double elapsed = std::chrono::duration<double>(now - start).count();
  std::nth_element(latenciesUs.begin(), latenciesUs.begin() + latenciesUs.size() / 2,
                   latenciesUs.end());
  std::printf("modbus_tcp_rps %.1f\n", static_cast<double>(latenciesUs.size()) / elapsed);
  std::printf("modbus_tcp_latency_us %.0f\n", latenciesUs[latenciesUs.size() / 2]);
  return 0;
}
