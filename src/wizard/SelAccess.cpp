#include "SelAccess.h"

#include "Controls.h"
#include "CurrentCamera.h"
#include "DevInfo.h"
#include "LangForms.h"
#include "Look.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

TfrmEsy_SelAccess::TfrmEsy_SelAccess(IPageHost* host) : TWizardPage(host, QStringLiteral("frmEsy_SelAccess")) {
    BuildFrame();
    btnNext->setMinimumWidth(120);

    lblTitle = new QLabel(Panel1);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblTitle->setWordWrap(true);
    Image1 = new TImage(Panel1, QStringLiteral("Image1"));
    Image1->SetPicture(Picture(QStringLiteral("done.png")));
    Image1->setFixedSize(150, 150);
    imgArrow = new TImage(Panel1, QStringLiteral("imgArrow"));
    imgArrow->SetPicture(Picture(QStringLiteral("arrow.png")));
    imgArrow->setFixedSize(40, 24);

    auto field = [this](const char* name) {
        auto* e = new QLineEdit(Panel1);
        e->setObjectName(QLatin1String(name));
        e->setReadOnly(true);
        e->setMinimumWidth(240);
        return e;
    };
    auto label = [this](const char* name) { return MakeNamed<QLabel>(Panel1, name); };
    auto open = [this](const char* name) { return MakeOpenButton(Panel1, name); };
    lblLanUrl = label("lblLanUrl");
    edLanUrl = field("edLanUrl");
    spbOpenLanUrl = open("spbOpenLanUrl");
    lblOutUrl = label("lblOutUrl");
    edOuterUrl = field("edOuterUrl");
    spbOutUrlOpen = open("spbOutUrlOpen");
    lblHowMob = MakeLinkLabel(Panel1, QStringLiteral("lblHowMob"), QColor(0, 0, 255));

    auto* urls = new QGridLayout;
    urls->setHorizontalSpacing(6);
    urls->setVerticalSpacing(10);
    urls->addWidget(lblLanUrl, 0, 0);
    urls->addWidget(edLanUrl, 0, 1);
    urls->addWidget(spbOpenLanUrl, 0, 2);
    urls->addWidget(lblOutUrl, 1, 0);
    urls->addWidget(edOuterUrl, 1, 1);
    urls->addWidget(spbOutUrlOpen, 1, 2);
    urls->addWidget(imgArrow, 1, 3);
    urls->setColumnStretch(1, 1);
    auto* texts = new QVBoxLayout;
    texts->addWidget(lblTitle);
    texts->addSpacing(24);
    texts->addLayout(urls);
    texts->addSpacing(24);
    texts->addWidget(lblHowMob);
    texts->addStretch(1);
    auto* panel = new QHBoxLayout(Panel1);
    panel->setContentsMargins(16, 16, 16, 16);
    panel->setSpacing(16);
    panel->addWidget(Image1, 0, Qt::AlignTop);
    panel->addLayout(texts, 1);

    ApplyLanguage(this);
    QFont bold = lblTitle->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 2);
    lblTitle->setFont(bold);

    connect(spbOpenLanUrl, &QToolButton::clicked, this, &TfrmEsy_SelAccess::spbOpenLanUrlClick);
    connect(spbOutUrlOpen, &QToolButton::clicked, this, &TfrmEsy_SelAccess::spbOutUrlOpenClick);
    connect(qobject_cast<TClickLabel*>(lblHowMob), &TClickLabel::clicked, this, &TfrmEsy_SelAccess::lblHowMobClick);
}

bool TfrmEsy_SelAccess::Back() {
    Host()->ShowPage(QStringLiteral("TfrmEsy_PortForward"));
    return true;
}

bool TfrmEsy_SelAccess::Next() {
    ++Cur().CurCamNo;
    Host()->ShowPage(QStringLiteral("TfrmEsy_DevList"));
    return true;
}

void TfrmEsy_SelAccess::FormShow() {
    if (const std::optional<TDevInfo> rec = CurrentDevice()) {
        edLanUrl->setText(InnerUrl(*rec));
        edOuterUrl->setText(OuterUrl(*rec));
    } else {
        edLanUrl->clear();
        edOuterUrl->clear();
    }
}

void TfrmEsy_SelAccess::spbOpenLanUrlClick() { Host()->OpenAddress(edLanUrl->text()); }

void TfrmEsy_SelAccess::spbOutUrlOpenClick() { Host()->OpenAddress(edOuterUrl->text()); }

void TfrmEsy_SelAccess::lblHowMobClick() { Host()->OpenOnlineCD(); }
