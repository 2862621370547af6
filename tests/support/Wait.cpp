#include "support/Wait.h"

#include <QTest>

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    return QTest::qWaitFor(done, static_cast<int>(timeout.count()));
}
