// SPDX-License-Identifier: GPL-3.0-or-later
#include "gateway/fields.h"

#include <stdexcept>

namespace kv770::gateway {

char ListDigit(int position) {
  return static_cast<char>('0' + position);
}

char MeterDigit(int meterPosition) {
  return ListDigit(meterPosition);
}

std::string ListPositionTwoDigits(int position) {
  return {static_cast<char>('0' + position / 10), static_cast<char>('0' + position % 10)};
}

std::string ThreeDigits(int value) {
  if (value < 0 || value > kThreeDigitMax)
    throw std::out_of_range("value does not fit a three-digit field");
  return {static_cast<char>('0' + value / 100), static_cast<char>('0' + value / 10 % 10),
          static_cast<char>('0' + value % 10)};
}

std::string TwoDigits(int value) {
  if (value < 0 || value > kTwoDigitMax)
    throw std::out_of_range("value does not fit a two-digit field");
  return {static_cast<char>('0' + value / 10), static_cast<char>('0' + value % 10)};
}

}  // namespace kv770::gateway
