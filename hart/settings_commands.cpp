#include "hart/settings_commands.h"

#include "gateway/fields.h"

namespace kv770::hart {

namespace {

// '1' + position: the gateway counts addresses and meters from 1 here.
char CountedFromOne(int position) {
  return static_cast<char>('1' + position);
}

}  // namespace

std::string HartAddressCommand(int addressPosition) {
  std::string command = "QQS#HCS:";
  command += CountedFromOne(addressPosition);
  command += '#';
  return command;
}

std::string ChannelTestCommand(int meterPosition) {
  std::string command = "QQS#MCS:";
  command += CountedFromOne(meterPosition);
  command += '#';
  return command;
}

}  // namespace kv770::hart
