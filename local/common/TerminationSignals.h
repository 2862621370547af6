#pragma once

// Makes SIGTERM and SIGINT quit the running Qt event loop: the handler only writes a byte to a
// pipe, the quit itself happens on the main thread.
void quitOnTerminationSignals();
