// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window's fixed waits, in milliseconds. They are part of how the window
// talks to the gateway: changing one changes what a reply looks like when it
// is decoded, or when a request counts as lost.
namespace kv770::cycle {

// The TCP receive handler sleeps this long before it reads: the gateway's
// reply arrives in pieces, and the wait lets the rest of it land so it is
// read as one. It blocks the user-interface thread on purpose: no timer
// fires inside it.
inline constexpr int kTcpReplyWaitMs = 500;

// The serial receive handler's wait before it stores a block. Like the TCP
// wait it runs on the user-interface thread, so no timer fires inside it.
// (The serial component itself ends a block after 100 ms of silence on the
// line; that wait is the link's own, in link/.)
inline constexpr int kSerialReplyWaitMs = 300;

// From a reply that needs decoding to its decoder: a second block of the
// same reply may still land, and is shown before the decoder reads.
inline constexpr int kParseDelayMs = 300;

// How long a gateway command, query or MODBUS test may go unanswered before
// the time-out report; the gateway answers well within it.
inline constexpr int kReplyTimeoutMs = 3000;

// The time-out timer's interval until the first request sets one. HART
// frames set none and keep what the last request left, so a HART query
// sent first gets this shorter wait.
inline constexpr int kFirstTimeoutMs = 1000;

// After a new RS-485 setting the serial port is closed this late, so the
// gateway's acknowledgement, still in the old settings, is received first.
inline constexpr int kRs485CloseDelayMs = 2000;

}  // namespace kv770::cycle
