// Signals that end the tool (SIGINT, SIGTERM, SIGHUP, SIGPIPE). The first
// one is only recorded: work stops at its next check, every temporary file
// is removed on the way out, one message is printed and the process exits
// with 128 + the signal's number, as shells expect. A second signal ends the
// process at once, except SIGPIPE, which every write into a closed pipe
// raises again.
#pragma once

namespace stopsignals {

// Installs the handlers. Blocking calls interrupted by a signal fail with
// EINTR instead of restarting, so that waiting on a pipe stops too.
void install();

// The signal received so far, or 0.
int received();

// 128 + the received signal's number (130 for SIGINT, 143 for SIGTERM).
int exitStatus();

// What the received signal means, for the one message: "interrupted".
const char* describe();

}  // namespace stopsignals
