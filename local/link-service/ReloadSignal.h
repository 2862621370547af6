#pragma once

#include <functional>

// Calls `onReload` on the main thread whenever the process gets SIGHUP (the usual "reread your
// files" request, sent by a certificate renewal hook or `systemctl reload`). Replaces any earlier
// SIGHUP disposition; call once, on the main thread, after the application object exists.
void handleReloadSignal(std::function<void()> onReload);
