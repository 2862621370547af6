#include "platform/StateLog.h"

Q_LOGGING_CATEGORY(stateLog, "dev.skerrow.state", QtInfoMsg)
