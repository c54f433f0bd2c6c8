#include "QInfo.h"

#include "LangForms.h"
#include "LangRes.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

TFrmQInfo::TFrmQInfo(QWidget* parent) : QDialog(parent) {
    // Not a language form: its button reads the same in every language.
    setObjectName(QStringLiteral("FrmQInfo"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setModal(true);
    setAutoFillBackground(true);
    QPalette cream = palette();
    cream.setColor(QPalette::Window, QColor(255, 251, 230));
    setPalette(cream);
    QFont f = font();
    f.setPointSize(8);
    SetLangFont(CurLang(), f);
    setFont(f);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setTextFormat(Qt::PlainText);
    QPalette blue = Label1->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 200));
    Label1->setPalette(blue);
    // A long translation scrolls instead of being cut off.
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(Label1);
    scroll->viewport()->setAutoFillBackground(false);
    Label1->setAutoFillBackground(false);

    BitBtn1 = new QPushButton(this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setText(QString::fromUtf8("\xE6\x88\x91\xE7\x9F\xA5\xE9\x81\x93\xE4\xBA\x86"));  // "I see"
    QFont bf = BitBtn1->font();
    SetLangFont(QStringLiteral("cn"), bf);
    BitBtn1->setFont(bf);
    BitBtn1->setMinimumSize(90, 26);
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

    // The 1-pixel border of a box without a title bar.
    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::Box);
    frame->setLineWidth(1);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);
    scroll->setParent(frame);
    BitBtn1->setParent(frame);
    auto* box = new QVBoxLayout(frame);
    box->setContentsMargins(14, 12, 14, 10);
    box->addWidget(scroll, 1);
    box->addWidget(BitBtn1, 0, Qt::AlignHCenter);
    setFixedSize(kClientWidth, kClientHeight);
    if (parent)
        move(parent->window()->geometry().center() - rect().center());
}

void TFrmQInfo::SetInfo(const QString& text) {
    info_ = text;
    Label1->setText(text);
    update();
}
