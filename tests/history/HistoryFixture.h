#pragma once

#include "history/CaptureWriter.h"
#include "history/HistoryReader.h"
#include "router/CaptureQueue.h"
#include "router/RouterFixture.h"
#include "support/Wait.h"

#include <QTemporaryDir>
#include <memory>

// The router of RouterFixture with capture on, writing a history into a temporary folder.
class HistoryFixture : public RouterFixture {
protected:
    void SetUp() override {
        RouterFixture::SetUp();
        historyDir = dir.filePath(QStringLiteral("state/skerrow"));
        startCapture();
    }

    void TearDown() override {
        router->setCapture(nullptr);
        reader.reset();
        writer.reset();
    }

    void startCapture(qint64 capBytes = HistoryStore::defaultCapBytes,
                      qsizetype queueBytes = qsizetype(256) * 1024 * 1024,
                      qsizetype queueEvents = CaptureQueue::defaultEventLimit) {
        queue = std::make_shared<CaptureQueue>(queueBytes, queueEvents);
        writer = std::make_unique<CaptureWriter>(queue, historyDir, capBytes);
        ASSERT_TRUE(writer->isOpen());
        router->setCapture(queue);
        reader = std::make_unique<HistoryReader>(historyDir);
        ASSERT_TRUE(reader->open());
    }

    // Waits until `count` entries have been stored since the writer started.
    bool waitStored(qint64 count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        return waitUntil([&] { return writer->stored() >= count; }, timeout);
    }

    RecordedRequest only() {
        const QList<qint64> ids = reader->ids();
        EXPECT_EQ(ids.size(), 1);
        return reader->entry(ids.value(0)).value_or(RecordedRequest{});
    }

    QTemporaryDir dir;
    QString historyDir;
    std::shared_ptr<CaptureQueue> queue;
    std::unique_ptr<CaptureWriter> writer;
    std::unique_ptr<HistoryReader> reader;
};
