// monitor: the gateway's live values over time.
#include "cli/commands.h"
#include "cli/failure.h"

namespace kv770::cli {

int RunMonitor(Session&, const CommandLine&) {
  throw Failure{kBadUsage, QStringLiteral("monitor is not built yet")};
}

}  // namespace kv770::cli
