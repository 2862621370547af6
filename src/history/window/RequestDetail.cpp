#include "history/window/RequestDetail.h"

#include "history/HistoryReader.h"
#include "history/HttpHead.h"
#include "history/Replay.h"
#include "history/window/BodyPresentation.h"
#include "history/window/TimingBar.h"

#include <QDateTime>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace {

// The most of a message's payload shown in its row.
constexpr qsizetype messagePreview = 200;

QString sizeText(qint64 bytes) {
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

QString opcodeName(int opcode) {
    switch (opcode) {
    case 1:
        return u"text"_s;
    case 2:
        return u"binary"_s;
    case 8:
        return u"close"_s;
    case 9:
        return u"ping"_s;
    case 10:
        return u"pong"_s;
    default:
        return QString::number(opcode);
    }
}

QPlainTextEdit* monospaceView(QWidget* parent) {
    auto* view = new QPlainTextEdit(parent);
    view->setReadOnly(true);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    return view;
}

} // namespace

RequestDetail::RequestDetail(const HistoryReader& reader, QWidget* parent)
    : QWidget(parent), reader_(reader), summary_(new QLabel(this)), tabs_(new QTabWidget(this)),
      messages_(new QTreeWidget(this)), timing_(new TimingBar(this)),
      timingText_(new QLabel(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    summary_->setWordWrap(true);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(summary_);
    layout->addWidget(tabs_, 1);
    request_ = makeSide(u"Request"_s);
    response_ = makeSide(u"Response"_s);
    messages_->setHeaderLabels({u"Time"_s, u"Direction"_s, u"Type"_s, u"Size"_s, u"Data"_s});
    messages_->setRootIsDecorated(false);
    messages_->header()->setStretchLastSection(true);
    tabs_->addTab(messages_, u"Messages"_s);
    auto* timingPage = new QWidget(this);
    auto* timingLayout = new QVBoxLayout(timingPage);
    timingLayout->addWidget(timing_);
    timingLayout->addWidget(timingText_);
    timingLayout->addStretch();
    tabs_->addTab(timingPage, u"Timing"_s);
}

RequestDetail::Side RequestDetail::makeSide(const QString& title) {
    Side side;
    auto* splitter = new QSplitter(Qt::Vertical, this);
    side.head = monospaceView(splitter);
    auto* bodyBox = new QWidget(splitter);
    auto* bodyLayout = new QVBoxLayout(bodyBox);
    bodyLayout->setContentsMargins(0, 0, 0, 0);
    side.note = new QLabel(bodyBox);
    bodyLayout->addWidget(side.note);
    side.body = new QStackedWidget(bodyBox);
    side.text = monospaceView(side.body);
    auto* scroll = new QScrollArea(side.body);
    side.image = new QLabel(scroll);
    side.image->setAlignment(Qt::AlignCenter);
    scroll->setWidget(side.image);
    scroll->setWidgetResizable(true);
    side.body->addWidget(side.text);
    side.body->addWidget(scroll);
    bodyLayout->addWidget(side.body, 1);
    splitter->setStretchFactor(1, 2);
    tabs_->addTab(splitter, title);
    return side;
}

void RequestDetail::showSide(Side& side, const QByteArray& head, const StoredBody& body) {
    side.head->setPlainText(QString::fromUtf8(head).trimmed());
    const BodyPresentation shown =
        BodyPresentation::of(HttpHeads::parse(head), reader_.bodyBytes(body));
    QStringList notes;
    if (body.size > 0)
        notes << sizeText(body.size);
    if (body.truncated())
        notes << QStringLiteral("kept %1 of %2 bytes").arg(body.kept).arg(body.size);
    if (!shown.note.isEmpty())
        notes << shown.note;
    side.note->setText(notes.join(u" · "_s));
    if (shown.kind == BodyPresentation::Kind::image) {
        side.image->setPixmap(QPixmap::fromImage(shown.image));
        side.body->setCurrentIndex(1);
    } else {
        side.text->setPlainText(shown.text);
        side.body->setCurrentIndex(0);
    }
}

void RequestDetail::show(const RecordedRequest& r) {
    QStringList lines;
    lines << QStringLiteral("<b>%1 %2</b> → %3 · %4")
                 .arg(r.method.toHtmlEscaped(), r.target.toHtmlEscaped(),
                      r.status ? QString::number(r.status) : u"—"_s, r.ending);
    lines << QStringLiteral("%1 · %2 · from %3 · app port %4")
                 .arg(QDateTime::fromMSecsSinceEpoch(r.acceptedMs).toString(Qt::ISODateWithMs),
                      r.link, r.visitor.isEmpty() ? u"—"_s : r.visitor)
                 .arg(r.appPort);
    if (r.replayOf)
        lines << QStringLiteral("Replay of entry %1").arg(r.replayOf);
    if (r.incomplete)
        lines << u"Capture incomplete: the history fell behind and dropped part of it."_s;
    if (Replay::hasTimestampedSignature(HttpHeads::parse(r.requestHead)))
        lines << u"Signed with a timestamp: the app may reject a replay older than a few "
                 u"minutes."_s;
    summary_->setText(lines.join(u"<br>"_s));
    showSide(request_, r.requestHead, r.requestBody);
    showSide(response_, r.responseHead, r.responseBody);

    messages_->clear();
    for (const WebSocketMessage& m : r.messages) {
        const QByteArray preview = m.payload.left(messagePreview);
        const QString shown =
            m.opcode == 2 ? QString::fromLatin1(preview.toHex(' ')) : QString::fromUtf8(preview);
        messages_->addTopLevelItem(
            new QTreeWidgetItem({QStringLiteral("+%1 ms").arg(double(m.atUs) / 1000.0, 0, 'f', 1),
                                 m.fromVisitor ? u"→ app"_s : u"← app"_s, opcodeName(m.opcode),
                                 sizeText(m.size), shown}));
    }
    tabs_->setTabVisible(2, r.upgraded);

    timing_->show(r);
    const auto ms = [](qint64 us) {
        return us < 0 ? u"—"_s : QStringLiteral("%1 ms").arg(double(us) / 1000.0, 0, 'f', 2);
    };
    timingText_->setText(
        QStringLiteral("head read %1 · app connected %2 · first byte %3 · "
                       "done %4")
            .arg(ms(r.headUs), ms(r.connectedUs), ms(r.firstByteUs), ms(r.doneUs)));
}

void RequestDetail::clear() {
    summary_->clear();
    for (Side* side : {&request_, &response_}) {
        side->head->clear();
        side->text->clear();
        side->note->clear();
    }
    messages_->clear();
}
