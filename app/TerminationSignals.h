#pragma once
#include <functional>

// SIGTERM, SIGINT and SIGHUP (a log-out, kill, Ctrl+C in a terminal) reach the
// window thread as a call of onSignal, through a pipe that the signal handler
// writes one byte to: nothing else is safe inside a handler.
namespace TerminationSignals {
void install(std::function<void()> onSignal);
}
