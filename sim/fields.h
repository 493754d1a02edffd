// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv770::sim {

// Reads a gateway command's parameters strictly, left to right. One field
// that is not as expected spoils the rest, and Done() says whether every
// character was as expected, so a handler applies its values only to a
// whole, well-formed command.
class Fields {
 public:
  explicit Fields(std::string_view text) : text_(text) {}

  void Literal(std::string_view expected) {
    if (ok_ && text_.substr(pos_).starts_with(expected))
      pos_ += expected.size();
    else
      ok_ = false;
  }
  void Literal(char expected) { Literal(std::string_view(&expected, 1)); }

  // Exactly `width` decimal digits whose value lies in lo..hi.
  int Number(std::size_t width, int lo, int hi) {
    if (!ok_ || text_.size() - pos_ < width) return Fail();
    int value = 0;
    for (std::size_t i = 0; i < width; ++i) {
      const char c = text_[pos_ + i];
      if (c < '0' || c > '9') return Fail();
      value = value * 10 + (c - '0');
    }
    if (value < lo || value > hi) return Fail();
    pos_ += width;
    return value;
  }
  int Digit(int lo, int hi) { return Number(1, lo, hi); }

  // A run of minWidth..maxWidth decimal digits, as text.
  std::string DigitRun(std::size_t minWidth, std::size_t maxWidth) {
    std::size_t end = pos_;
    while (ok_ && end < text_.size() && text_[end] >= '0' && text_[end] <= '9') ++end;
    if (!ok_ || end - pos_ < minWidth || end - pos_ > maxWidth) {
      Fail();
      return {};
    }
    std::string run(text_.substr(pos_, end - pos_));
    pos_ = end;
    return run;
  }

  // Everything up to (not including) the next `stop`.
  std::string_view Until(char stop) {
    const std::size_t end = ok_ ? text_.find(stop, pos_) : std::string_view::npos;
    if (end == std::string_view::npos) {
      Fail();
      return {};
    }
    const std::string_view part = text_.substr(pos_, end - pos_);
    pos_ = end;
    return part;
  }

  // The next `count` characters as raw bytes.
  std::vector<std::uint8_t> Raw(std::size_t count) {
    if (!ok_ || text_.size() - pos_ < count) {
      Fail();
      return {};
    }
    std::vector<std::uint8_t> bytes(text_.begin() + static_cast<std::ptrdiff_t>(pos_),
                                    text_.begin() + static_cast<std::ptrdiff_t>(pos_ + count));
    pos_ += count;
    return bytes;
  }

  // Everything read, save the line end a hand-typed session (nc, a
  // terminal) appends; the tool sends none.
  bool Done() const {
    return ok_ && text_.substr(pos_).find_first_not_of("\r\n") == std::string_view::npos;
  }

 private:
  int Fail() {
    ok_ = false;
    return 0;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace kv770::sim
