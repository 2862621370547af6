// The session manager's requests against the quit decision of a real GUI process on a virtual X
// display: only a session that really ends keeps the links.
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <memory>

namespace {

constexpr int waitMs = 10000;

// A child process whose standard output is read line by line.
class Child {
public:
    Child(const QString& program, const QStringList& arguments,
          const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
        process_.setProcessEnvironment(environment);
        process_.start(program, arguments);
    }
    ~Child() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(waitMs);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // The next line of output, or empty when none comes in time.
    QByteArray nextLine() {
        while (!process_.canReadLine()) {
            if (!process_.waitForReadyRead(waitMs))
                return {};
        }
        return process_.readLine().trimmed();
    }
    bool expect(const QByteArray& line) {
        const QByteArray got = nextLine();
        EXPECT_EQ(got, line);
        return got == line;
    }
    void send(const QByteArray& line) {
        process_.write(line + '\n');
        process_.waitForBytesWritten(waitMs);
    }

private:
    QProcess process_;
};

class SessionEnd : public ::testing::Test {
protected:
    void SetUp() override {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty())
            GTEST_SKIP() << "no Xvfb";
        display = std::make_unique<Child>(
            xvfb, QStringList{QStringLiteral("-displayfd"), QStringLiteral("1"),
                              QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                              QStringLiteral("-noreset")});
        const QByteArray number = display->nextLine();
        ASSERT_FALSE(number.isEmpty());
        manager =
            std::make_unique<Child>(QStringLiteral(SKERROW_SESSION_MANAGER_PATH), QStringList{});
        const QByteArray address = manager->nextLine();
        ASSERT_TRUE(address.startsWith("SESSION_MANAGER="));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("DISPLAY"),
                           QStringLiteral(":") + QString::fromLatin1(number));
        environment.insert(QStringLiteral("SESSION_MANAGER"),
                           QString::fromLatin1(address.mid(address.indexOf('=') + 1)));
        app = std::make_unique<Child>(QStringLiteral(SKERROW_QUIT_PATH_PROBE_PATH), QStringList{},
                                      environment);
        ASSERT_TRUE(app->expect("ready"));
        ASSERT_TRUE(manager->expect("registered"));
    }
    // The session manager asks for the data to be committed before a log-out.
    void askToCommit() {
        manager->send("save");
        ASSERT_TRUE(app->expect("commit"));
        ASSERT_TRUE(manager->expect("saved"));
    }

    std::unique_ptr<Child> display;
    std::unique_ptr<Child> manager;
    std::unique_ptr<Child> app;
};

TEST_F(SessionEnd, ALogOutTheUserCancelledLeavesTheNextQuitTheUsers) {
    askToCommit();
    manager->send("cancel");
    app->send("quit");
    EXPECT_TRUE(app->expect("shutdown"));
}

TEST_F(SessionEnd, TheSessionManagersQuitAfterItsRequestKeepsTheLinks) {
    askToCommit();
    manager->send("die");
    EXPECT_TRUE(app->expect("suspend"));
}

TEST_F(SessionEnd, AQuitWithoutAnyRequestIsTheUsers) {
    app->send("quit");
    EXPECT_TRUE(app->expect("shutdown"));
}

} // namespace
