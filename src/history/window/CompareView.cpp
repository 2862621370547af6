#include "history/window/CompareView.h"

#include "history/window/LineDiff.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QScrollBar>
#include <QTextEdit>

using namespace Qt::Literals::StringLiterals;

namespace {

const QColor removed(0xff, 0xeb, 0xee);
const QColor added(0xe8, 0xf5, 0xe9);

QTextEdit* column(QWidget* parent) {
    auto* view = new QTextEdit(parent);
    view->setReadOnly(true);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view->setLineWrapMode(QTextEdit::NoWrap);
    return view;
}

QString line(const QString& text, const QColor& background) {
    const QString escaped = text.toHtmlEscaped().replace(u' ', u"&nbsp;"_s);
    if (!background.isValid())
        return escaped + u"<br>"_s;
    return QStringLiteral("<span style=\"background:%1\">%2&nbsp;</span><br>")
        .arg(background.name(), escaped);
}

} // namespace

CompareView::CompareView(const QString& originalTitle, const QString& original,
                         const QString& replayTitle, const QString& replay, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(u"Compare responses"_s);
    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(originalTitle, this), 0, 0);
    layout->addWidget(new QLabel(replayTitle, this), 0, 1);
    QTextEdit* left = column(this);
    QTextEdit* right = column(this);
    layout->addWidget(left, 1, 0);
    layout->addWidget(right, 1, 1);
    QString leftHtml;
    QString rightHtml;
    // Lines only one side has face a blank line on the other, so the rest stays aligned.
    for (const DiffLine& d : LineDiff::of(original.split(u'\n'), replay.split(u'\n'))) {
        switch (d.side) {
        case DiffLine::Side::both:
            leftHtml += line(d.text, {});
            rightHtml += line(d.text, {});
            break;
        case DiffLine::Side::left:
            leftHtml += line(d.text, removed);
            rightHtml += line({}, {});
            break;
        case DiffLine::Side::right:
            leftHtml += line({}, {});
            rightHtml += line(d.text, added);
            break;
        }
    }
    left->setHtml(u"<tt>"_s + leftHtml + u"</tt>"_s);
    right->setHtml(u"<tt>"_s + rightHtml + u"</tt>"_s);
    connect(left->verticalScrollBar(), &QScrollBar::valueChanged, right->verticalScrollBar(),
            &QScrollBar::setValue);
    connect(right->verticalScrollBar(), &QScrollBar::valueChanged, left->verticalScrollBar(),
            &QScrollBar::setValue);
    resize(1000, 600);
}
