// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace kv770::ui {

// The vendor's contact lines in the title area, and the number the
// connection time-out message gives.
inline constexpr const char kContactLine1[] = "Velmora Electronics";
inline constexpr const char kContactLine2[] = "Tel: 400-555-0770";
inline constexpr const char kContactLine3[] = "service@velmora.example";
inline constexpr const char kContactPhone[] = "400-555-0770";

}  // namespace kv770::ui
