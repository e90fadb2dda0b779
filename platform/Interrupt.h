// Interrupt: the user's request to stop a console program (Ctrl-C; on posix
// also SIGTERM). Once watched, the request only sets a flag that the
// program polls, so it can end cleanly.
#pragma once

namespace plat {

// Starts watching for the request (idempotent). Call from the main thread
// before any other thread starts.
void WatchInterrupt();
// True once the user asked the program to stop. Any thread.
bool InterruptRequested();
// Forgets a request (tests, a program that handles one and goes on).
void ClearInterrupt();
// Raises the request as the user would (tests).
void RequestInterrupt();

}  // namespace plat
