#pragma once

#include <functional>

// Turns SIGTERM, SIGINT and SIGHUP into a call of `onSignal` on the main thread. The pipe exists
// before the handlers are installed; a handler only writes one byte to it. Call once, on the
// main thread, after the application object exists.
void handleQuitSignals(std::function<void()> onSignal);
