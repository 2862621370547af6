#pragma once

// Background work that must not compete with the desktop. Linux's default scheduler ignores
// Qt's thread priorities, so the calling thread's own nice value is raised instead; processes it
// starts afterwards inherit it.
inline constexpr int backgroundNiceness = 10;

// Makes the calling thread at least as nice as `niceness`; a thread that is already nicer keeps
// its value (lowering it again would need privileges). Best effort: failures are ignored.
void lowerCurrentThreadPriority(int niceness = backgroundNiceness);

// The calling thread's nice value.
int currentThreadNiceness();
