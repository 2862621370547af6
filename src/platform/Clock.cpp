#include "platform/Clock.h"

Clock systemClock() {
    return [] { return QDateTime::currentDateTimeUtc(); };
}
