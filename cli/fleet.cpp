// --fleet: one command on many gateways.
#include "cli/fleet.h"

#include "cli/failure.h"

namespace kv770::cli {

int RunFleet(const QCommandLineParser&, const QStringList&, QTextStream&, QTextStream&) {
  throw Failure{kBadUsage, QStringLiteral("--fleet is not built yet")};
}

}  // namespace kv770::cli
