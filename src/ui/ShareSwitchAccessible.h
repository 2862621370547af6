#pragma once

// Makes assistive tools see each share switch as a checkable control whose toggle action asks
// for the change as a click does. Qt's own button interface would flip the position instead and
// ask for nothing. Safe to call more than once.
void installShareSwitchAccessible();
