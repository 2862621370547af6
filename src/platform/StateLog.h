#pragma once

#include <QLoggingCategory>

// The app's one log channel: the health monitor and reconciliation write their info and error
// lines here, under the application's reverse-DNS identifier and the category "state".
Q_DECLARE_LOGGING_CATEGORY(stateLog)
