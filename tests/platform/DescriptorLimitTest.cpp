#include "platform/DescriptorLimit.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

QStringList logged;

void keepMessage(QtMsgType, const QMessageLogContext& context, const QString& message) {
    if (QByteArray(context.category) == "dev.skerrow.state")
        logged.append(message);
}

// Puts the soft limit back and the message handler away when the test ends.
class LimitGuard {
public:
    LimitGuard() {
        getrlimit(RLIMIT_NOFILE, &saved_);
        previous_ = qInstallMessageHandler(keepMessage);
    }
    ~LimitGuard() {
        qInstallMessageHandler(previous_);
        setrlimit(RLIMIT_NOFILE, &saved_);
    }
    rlim_t hard() const { return saved_.rlim_max; }

private:
    rlimit saved_{};
    QtMessageHandler previous_ = nullptr;
};

TEST(DescriptorLimit, RaisesTheSoftLimitToTheHardOneAndLogsIt) {
    const LimitGuard guard;
    constexpr rlim_t lowered = 256;
    if (guard.hard() == RLIM_INFINITY || guard.hard() <= lowered)
        GTEST_SKIP() << "the hard limit leaves nothing to raise";
    const rlimit low{lowered, guard.hard()};
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    ASSERT_EQ(descriptorLimit(), 256);
    logged.clear();

    const auto hard = static_cast<qint64>(guard.hard());
    EXPECT_EQ(raiseDescriptorLimit(), hard);
    EXPECT_EQ(descriptorLimit(), hard);
    // Already at the hard limit: nothing changes, the value is still logged.
    EXPECT_EQ(raiseDescriptorLimit(), hard);
    EXPECT_EQ(logged,
              QStringList({QStringLiteral("Open file limit raised from 256 to %1").arg(hard),
                           QStringLiteral("Open file limit %1").arg(hard)}));
}

} // namespace
