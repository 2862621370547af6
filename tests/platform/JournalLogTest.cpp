#include "platform/JournalLog.h"

#include "platform/StateLog.h"

#include <QMap>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

namespace {

// Parses one datagram of the journal's native format into its fields.
QMap<QByteArray, QByteArray> fields(const QByteArray& datagram) {
    QMap<QByteArray, QByteArray> result;
    qsizetype at = 0;
    while (at < datagram.size()) {
        const qsizetype newline = datagram.indexOf('\n', at);
        if (newline < 0)
            break;
        const QByteArray line = datagram.mid(at, newline - at);
        const qsizetype equals = line.indexOf('=');
        if (equals >= 0) {
            result.insert(line.left(equals), line.mid(equals + 1));
            at = newline + 1;
            continue;
        }
        quint64 length = 0;
        std::memcpy(&length, datagram.constData() + newline + 1, sizeof length);
        length = qFromLittleEndian(length);
        const qsizetype start = newline + 1 + static_cast<qsizetype>(sizeof length);
        result.insert(line, datagram.mid(start, static_cast<qsizetype>(length)));
        at = start + static_cast<qsizetype>(length) + 1;
    }
    return result;
}

// A datagram socket standing in for the journal's.
class FakeJournal {
public:
    explicit FakeJournal(const QString& path) : fd_(::socket(AF_UNIX, SOCK_DGRAM, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray bytes = path.toLocal8Bit();
        std::memcpy(address.sun_path, bytes.constData(), static_cast<size_t>(bytes.size()));
        bound_ = ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~FakeJournal() { ::close(fd_); }
    bool bound() const { return bound_; }
    QByteArray next() const {
        QByteArray buffer(65536, '\0');
        const ssize_t size =
            ::recv(fd_, buffer.data(), static_cast<size_t>(buffer.size()), MSG_DONTWAIT);
        return size < 0 ? QByteArray() : buffer.left(size);
    }

private:
    int fd_;
    bool bound_ = false;
};

class JournalLog : public ::testing::Test {
protected:
    void TearDown() override { qInstallMessageHandler(nullptr); }
    QTemporaryDir dir;
};

TEST_F(JournalLog, StateLinesReachTheJournalWithTheirPriorities) {
    const QString path = dir.filePath(QStringLiteral("journal"));
    const FakeJournal journal(path);
    ASSERT_TRUE(journal.bound());
    routeLogToJournal(path);
    qCInfo(stateLog, "Reconciled %ld links", 2L);
    qCCritical(stateLog, "Health: %s", "first line\nsecond line");

    const auto info = fields(journal.next());
    EXPECT_EQ(info.value("PRIORITY"), "6");
    EXPECT_EQ(info.value("MESSAGE"), "Reconciled 2 links");
    EXPECT_EQ(info.value("QT_CATEGORY"), "dev.skerrow.state");
    EXPECT_EQ(info.value("SYSLOG_IDENTIFIER"), "skerrow");
    const auto error = fields(journal.next());
    EXPECT_EQ(error.value("PRIORITY"), "3");
    EXPECT_EQ(error.value("MESSAGE"), "Health: first line\nsecond line");
}

TEST_F(JournalLog, WithoutAJournalLinesGoToTheFallbackWithTheirLevels) {
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    routeLogToJournal(dir.filePath(QStringLiteral("no-journal-here")), pipe[1]);
    qCInfo(stateLog, "one");
    qCCritical(stateLog, "two");
    qInstallMessageHandler(nullptr);
    ::close(pipe[1]);
    QByteArray text(4096, '\0');
    const ssize_t size = ::read(pipe[0], text.data(), static_cast<size_t>(text.size()));
    ::close(pipe[0]);
    EXPECT_EQ(text.left(size), "info dev.skerrow.state: one\nerror dev.skerrow.state: two\n");
}

} // namespace
