// scan: finds gateways whose line settings nobody remembers.
#include "cli/commands.h"
#include "cli/failure.h"

namespace kv770::cli {

int RunScan(Session&, const CommandLine&) {
  throw Failure{kBadUsage, QStringLiteral("scan is not built yet")};
}

}  // namespace kv770::cli
