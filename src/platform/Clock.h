#pragma once

#include <QDateTime>
#include <functional>

// The source of wall-clock instants. Everything that counts seconds takes one, so tests can move
// time forward without waiting.
using Clock = std::function<QDateTime()>;

Clock systemClock();
