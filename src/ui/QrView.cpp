#include "ui/QrView.h"

#include "ui/QrCode.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

QrView::QrView(const QString& url, QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("QR code"));
    setAttribute(Qt::WA_DeleteOnClose);
    const qreal ratio = devicePixelRatioF();
    const int pixels = static_cast<int>(codeSide * ratio);
    image_ = QrCode::render(url, QrCode::moduleFor(url, pixels));
    image_.setDevicePixelRatio(ratio);

    auto* layout = new QVBoxLayout(this);
    auto* code = new QLabel(this);
    code->setObjectName(QStringLiteral("qrImage"));
    code->setPixmap(QPixmap::fromImage(image_));
    code->setAlignment(Qt::AlignCenter);
    code->setAccessibleName(QStringLiteral("QR code of ") + url);
    layout->addWidget(code);

    auto* address = new QLabel(url, this);
    address->setObjectName(QStringLiteral("qrUrl"));
    address->setAlignment(Qt::AlignCenter);
    address->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(address);

    auto* copy = new QPushButton(QStringLiteral("Copy image"), this);
    copy->setObjectName(QStringLiteral("qrCopy"));
    connect(copy, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setImage(image_); });
    layout->addWidget(copy, 0, Qt::AlignCenter);
}
