// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Every wait of the tool, in milliseconds, in one place: how long a reply
// may take, what silence ends one, how often a run looks up. The window's
// fixed waits come first; they are part of how the window talks to the
// gateway, and changing one changes what a reply looks like when it is
// decoded, or when a request counts as lost.
namespace kv770::waits {

// ---- the window's request cycle ---------------------------------------------------

// The TCP receive handler sleeps this long before it reads: the gateway's
// reply arrives in pieces, and the wait lets the rest of it land so it is
// read as one. It blocks the user-interface thread on purpose: no timer
// fires inside it.
inline constexpr int kTcpReplyWaitMs = 500;
// The serial receive handler's wait before it stores a block. Like the TCP
// wait it runs on the user-interface thread, so no timer fires inside it.
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

// ---- the serial line ---------------------------------------------------------------

// The serial component ends a received block after this much silence on
// the line (the window's block, and the reader's default).
inline constexpr int kBlockSilenceMs = 100;
// How long closing a port waits for each worker before it reports one that
// has not ended.
inline constexpr int kWorkerStopMs = 10000;

// ---- one exchange: a request and its reply ---------------------------------------

// A reply whose shape is not known (the manual HART command, an answer
// nobody foresaw) ends after this much silence.
inline constexpr int kUnknownShapeSilenceMs = 100;
// A reply of known shape ends when it is whole; one that stops short of
// whole is given up after this much silence. A pause inside a reply that
// is shorter is waited out.
inline constexpr int kStalledReplyMs = 500;

// ---- Live Values and kv770ctl monitor --------------------------------------------

// A poll's exchange waits as long as the interval, but not past kPollWaitMaxMs
// (a gateway that has not answered by then will not), nor less than
// kPollWaitMinMs: an instrument's command 3 through the gateway at 1200
// bit/s takes about 400 ms. Reading the configuration and identifying the
// instruments wait kConfigWaitMs per exchange.
inline constexpr int kPollWaitMaxMs = 3000;
inline constexpr int kPollWaitMinMs = 1000;
inline constexpr int kConfigWaitMs = 3000;
// The poll interval a person may choose.
inline constexpr int kPollIntervalMinMs = 200;
inline constexpr int kPollIntervalMaxMs = 60000;
// kv770ctl monitor: a lost link is tried again after kRetryFirstMs, each
// wait twice the last up to kRetryLongestMs; an attempt to connect gets at
// least kAttemptShortestMs.
inline constexpr int kRetryFirstMs = 1000;
inline constexpr int kRetryLongestMs = 10000;
inline constexpr int kAttemptShortestMs = 200;

// ---- kv770ctl ------------------------------------------------------------------------

// A command's wait for each reply unless --timeout says otherwise.
inline constexpr int kCtlReplyTimeoutMs = 3000;
// How often a wait looks whether Ctrl+C or a signal asked it to stop.
inline constexpr int kStopLookMs = 50;
// hart scan: the wait for command 0 at each place. An instrument answers
// at 1200 bit/s: about 40 bytes of request and reply take ~370 ms, and the
// gateway relays both. An empty place costs the whole wait, so it is this
// rather than the run's time-out.
inline constexpr int kHartPlaceWaitMs = 1000;

// ---- scan over serial lines ----------------------------------------------------------

// How long the gateway may think before it answers the check.
inline constexpr int kScanTurnaroundMs = 100;
// The writer thread, and a USB adapter that holds received bytes for up to
// 16 ms before passing them on.
inline constexpr int kScanLatencyMs = 20;
// An answer ends after as much silence as ends a block in the window, so
// that it is cut where the window would cut it.
inline constexpr int kScanSilenceMs = kBlockSilenceMs;
// Before each try, what is still under way from the try before is let pass
// unheard until the line has been quiet this long.
inline constexpr int kScanSettleMs = kScanLatencyMs;
// Listening for a line to fall quiet ends after this much more, so that a
// line that never stops talking cannot hold the scan.
inline constexpr int kScanDrainCapMs = 1000;
// The second pass, when the first heard bytes but no answer: each try waits
// this much longer for the first byte.
inline constexpr int kScanLateMs = 1000;

}  // namespace kv770::waits
