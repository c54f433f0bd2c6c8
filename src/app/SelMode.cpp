#include "SelMode.h"

#include "Controls.h"
#include "LangForms.h"
#include "LangRes.h"
#include "Look.h"
#include "OptionFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>
#include <QSignalBlocker>

namespace {

// Label4 toggles the check box next to it.
class ToggleFilter : public QObject {
public:
    ToggleFilter(QObject* parent, std::function<void()> onClick) : QObject(parent), onClick_(std::move(onClick)) {}
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::MouseButtonRelease)
            onClick_();
        return false;
    }

private:
    std::function<void()> onClick_;
};

}  // namespace

TfrmSel_Mode::TfrmSel_Mode(IPageHost* host) : TfrmPageBase(host, QStringLiteral("frmSel_Mode")) {
    QFont base = font();
    base.setPointSize(8);
    setFont(base);

    Image1 = new TImage(this, QStringLiteral("Image1"));
    Image1->setFixedSize(200, 360);
    Image1->SetPicture(Picture(QStringLiteral("welcome.png")));

    Label5 = new QLabel(this);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->setText(QStringLiteral("Welcome"));

    TeLabel2 = new TTeLabel(this);
    TeLabel2->setObjectName(QStringLiteral("TeLabel2"));
    TeLabel2->setWordWrap(true);
    TeLabel2->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Label3 = new QLabel(this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setWordWrap(true);
    Label3->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    lblLan = new QLabel(this);
    lblLan->setObjectName(QStringLiteral("lblLan"));
    lblLan->setText(QStringLiteral("Language:"));

    cmbLan = new QComboBox(this);
    cmbLan->setObjectName(QStringLiteral("cmbLan"));
    cmbLan->setEditable(false);
    cmbLan->setMinimumWidth(200);

    btnEasy = new QPushButton(this);
    btnEasy->setObjectName(QStringLiteral("btnEasy"));
    btnEasy->setText(QStringLiteral("&Start"));
    btnEasy->setMinimumSize(110, 30);

    TeButton1 = new TTeButton(this);
    TeButton1->setObjectName(QStringLiteral("TeButton1"));
    TeButton1->setText(QStringLiteral(" \u300B"));
    TeButton1->setFixedSize(40, 30);

    chkAdvMode = new QCheckBox(this);
    chkAdvMode->setObjectName(QStringLiteral("chkAdvMode"));
    chkAdvMode->setVisible(false);

    Label4 = new QLabel(this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setVisible(false);

    // The picture on the left, the texts and the controls on the right; longer translations
    // wrap or widen instead of being cut.
    auto* language = new QHBoxLayout;
    language->addWidget(lblLan);
    language->addWidget(cmbLan);
    language->addStretch(1);
    auto* start = new QHBoxLayout;
    start->addWidget(chkAdvMode);
    start->addWidget(Label4);
    start->addStretch(1);
    start->addWidget(btnEasy);
    start->setSpacing(2);
    start->addWidget(TeButton1);
    start->addSpacing(30);
    auto* texts = new QVBoxLayout;
    texts->addWidget(Label5);
    texts->addSpacing(8);
    texts->addWidget(TeLabel2);
    texts->addWidget(Label3);
    texts->addStretch(1);
    texts->addLayout(language);
    texts->addSpacing(24);
    texts->addLayout(start);
    auto* page = new QHBoxLayout(this);
    page->setContentsMargins(16, 16, 16, 16);
    page->setSpacing(20);
    page->addWidget(Image1, 0, Qt::AlignTop);
    page->addLayout(texts, 1);

    ApplyLanguage(this);
    // The heading is big whatever the language's font rule says.
    QFont big = Label5->font();
    big.setPointSize(20);
    big.setBold(true);
    Label5->setFont(big);

    FillLanguages();
    chkAdvMode->setChecked(TOptionFile().ReadBool(QStringLiteral("DevFind"), QStringLiteral("advmode"), false));

    connect(cmbLan, &QComboBox::activated, this, &TfrmSel_Mode::cmbLanChange);
    connect(chkAdvMode, &QCheckBox::clicked, this, &TfrmSel_Mode::chkAdvModeClick);
    Label4->installEventFilter(new ToggleFilter(this, [this] {
        chkAdvMode->toggle();
        chkAdvModeClick();
    }));
    connect(btnEasy, &QPushButton::clicked, this, &TfrmSel_Mode::btnEasyClick);
    connect(TeButton1, &QPushButton::clicked, this, &TfrmSel_Mode::btnEasyClick);
}

void TfrmSel_Mode::FillLanguages() {
    const QSignalBlocker block(cmbLan);
    cmbLan->clear();
    const QString cur = CurLang();
    int selected = -1;
    for (const QString& path : Host()->LangFiles()) {
        const QString code = LangCodeOfFile(path);
        cmbLan->addItem(GetLangString(QStringLiteral("Global"), QStringLiteral("Name_") + code));
        if (code == cur)
            selected = cmbLan->count() - 1;
    }
    cmbLan->setCurrentIndex(selected);
}

void TfrmSel_Mode::cmbLanChange() {
    const int i = cmbLan->currentIndex();
    const QStringList& files = Host()->LangFiles();
    if (i >= 0 && i < files.size()) {
        const QString code = LangCodeOfFile(files[i]);
        if (!code.isEmpty()) {
            SetLanguage(code);
            Host()->ReapplyLanguage();
            FillLanguages();
        }
    }
    TOptionFile().WriteString(QStringLiteral("Global"), QStringLiteral("lan"), CurLang());
}

void TfrmSel_Mode::chkAdvModeClick() {
    TOptionFile().WriteBool(QStringLiteral("DevFind"), QStringLiteral("advmode"), chkAdvMode->isChecked());
}

void TfrmSel_Mode::btnEasyClick() { Host()->ShowPage(QStringLiteral("TfrmLinkSource")); }
