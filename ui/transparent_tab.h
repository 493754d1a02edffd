// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "ui/controls.h"
#include "ui/tab.h"

namespace kv770::ui {

// "Transparent Mode": HART frames through the gateway to the instrument at
// its HART address: the identity (command 0), the dynamic variables
// (command 3) and a typed command.
class TransparentTab : public Tab {
  Q_OBJECT

 public:
  explicit TransparentTab(Requests& requests);

  bool Decode(cycle::PendingCode code) override;
  // The buttons a positive communication check enables on this tab.
  void EnableRequests();

 signals:
  // The gateway's HART address chosen (a list position): it also chooses
  // the meter on the MODBUS tab.
  void hartAddressChosen(int position);

 private:
  void Build();
  void onHartAddressSetClicked();
  void onIdentityQueryClicked();
  void DecodeHartIdentity();
  void onVariablesQueryClicked();
  void DecodeHartVariables();
  void onManualSendClicked();
  // Preamble from the preamble length, body, check byte; waits for `code`.
  void SendHartFrame(const std::vector<std::uint8_t>& body, cycle::PendingCode code);
  // The bytes the last receive put into the reply area.
  std::span<const std::uint8_t> HartReplyBytes();

  HartControls c_;
  // The instrument last identified; its long address reaches command 3.
  struct Identity {
    std::uint8_t manufacturer = 0;
    std::uint8_t deviceType = 0;
    std::uint8_t preambles = 0;
    std::uint32_t deviceId = 0;  // 24 bits
  } identity_;
};

}  // namespace kv770::ui
