#include "LinkSource.h"

#include "Controls.h"
#include "LangForms.h"
#include "Look.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

// The wiring picture is drawn at 520 x 240 and shown at three quarters of that; the labels
// over it sit at fixed places of the drawing.
constexpr int kWiringWidth = 390;
constexpr int kWiringHeight = 180;

struct TPictureParts {
    QLabel* heading;
    TPanel* wiringPanel;
    TImage* wiring;
    TPanel* lightsPanel;
    TImage* lights;
    QLabel* text;
    TImage* helpIcon;
    QLabel* help;
};

QLabel* OverLabel(TPanel* panel, const char* name, int x, int y) {
    auto* l = new QLabel(panel);
    l->setObjectName(QLatin1String(name));
    // Room for the longest translation; the drawing leaves it free.
    l->setGeometry(x, y, 120, 20);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, QColor(0, 70, 160));
    l->setPalette(p);
    return l;
}

TPictureParts BuildPicturePage(TPanel* client, const char* wiringPicture, const char* lightsPicture,
                               const char* helpName) {
    TPictureParts parts;
    parts.heading = new QLabel(client);
    parts.heading->setObjectName(QStringLiteral("Label2"));
    parts.heading->setWordWrap(true);
    parts.wiringPanel = new TPanel(client, QStringLiteral("Panel3"));
    parts.wiringPanel->setFixedSize(kWiringWidth, kWiringHeight);
    parts.wiring = new TImage(parts.wiringPanel, QStringLiteral("Image1"));
    parts.wiring->SetStretch(true);
    parts.wiring->SetPicture(Picture(QLatin1String(wiringPicture)));
    parts.wiring->setGeometry(0, 0, kWiringWidth, kWiringHeight);
    parts.lightsPanel = new TPanel(client, QStringLiteral("Panel2"));
    parts.lightsPanel->setFixedSize(180, 135);
    parts.lights = new TImage(parts.lightsPanel, QStringLiteral("Image2"));
    parts.lights->SetPicture(Picture(QLatin1String(lightsPicture)));
    parts.lights->setGeometry(0, 0, 180, 135);
    parts.text = new QLabel(client);
    parts.text->setObjectName(QStringLiteral("Label1"));
    parts.text->setWordWrap(true);
    parts.text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    parts.helpIcon = new TImage(client, QStringLiteral("Image3"));
    parts.helpIcon->SetPicture(Picture(QStringLiteral("help.png")));
    parts.helpIcon->setFixedSize(18, 18);
    parts.help = MakeLinkLabel(client, QLatin1String(helpName), QColor(0, 0, 200));

    auto* pictures = new QHBoxLayout;
    pictures->addWidget(parts.wiringPanel);
    pictures->addStretch(1);
    pictures->addWidget(parts.lightsPanel, 0, Qt::AlignTop);
    auto* help = new QHBoxLayout;
    help->addWidget(parts.helpIcon);
    help->addWidget(parts.help);
    help->addStretch(1);
    auto* box = new QVBoxLayout(client);
    box->setContentsMargins(16, 12, 16, 12);
    box->addWidget(parts.heading);
    box->addSpacing(4);
    box->addLayout(pictures);
    box->addSpacing(8);
    box->addWidget(parts.text, 1);
    box->addLayout(help);
    return parts;
}

void Bold(QLabel* l) {
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
}

}  // namespace

TfrmLinkSource::TfrmLinkSource(IPageHost* host) : TWizardPage(host, QStringLiteral("frmLinkSource")) {
    BuildFrame();
    const TPictureParts p = BuildPicturePage(Panel1, "power.png", "lights.png", "Label4");
    Label2 = p.heading;
    Panel3 = p.wiringPanel;
    Image1 = p.wiring;
    Panel2 = p.lightsPanel;
    Image2 = p.lights;
    Label1 = p.text;
    Image3 = p.helpIcon;
    Label4 = p.help;
    lblIPcam1 = OverLabel(Panel3, "lblIPcam1", 40, 148);
    lblRouter1 = OverLabel(Panel3, "lblRouter1", 265, 112);
    Label3 = OverLabel(Panel3, "Label3", 118, 130);
    lblPC1 = OverLabel(Panel3, "lblPC1", 300, 10);
    lblPC1->setVisible(false);

    ApplyLanguage(this);
    Bold(Label2);
    connect(qobject_cast<TClickLabel*>(Label4), &TClickLabel::clicked, this, &TfrmLinkSource::Label4Click);
}

bool TfrmLinkSource::Back() {
    Host()->ShowPage(QStringLiteral("TfrmSel_Mode"));
    return true;
}

bool TfrmLinkSource::Next() {
    Host()->ShowPage(QStringLiteral("TfrmEsy_Line"));
    return true;
}

void TfrmLinkSource::Label4Click() { ShowHelp(QStringLiteral("IDS_LINKSOURCE")); }

TfrmEsy_Line::TfrmEsy_Line(IPageHost* host) : TWizardPage(host, QStringLiteral("frmEsy_Line")) {
    BuildFrame();
    const TPictureParts p = BuildPicturePage(Panel1, "cable.png", "jack.png", "Label3");
    Label2 = p.heading;
    Panel3 = p.wiringPanel;
    Image1 = p.wiring;
    Panel2 = p.lightsPanel;
    Image2 = p.lights;
    Label1 = p.text;
    Image3 = p.helpIcon;
    Label3 = p.help;
    lblIPcam1 = OverLabel(Panel3, "lblIPcam1", 20, 118);
    lblRouter1 = OverLabel(Panel3, "lblRouter1", 180, 150);
    lblPC1 = OverLabel(Panel3, "lblPC1", 270, 140);

    ApplyLanguage(this);
    Bold(Label2);
    connect(qobject_cast<TClickLabel*>(Label3), &TClickLabel::clicked, this, &TfrmEsy_Line::Label3Click);
}

bool TfrmEsy_Line::Back() {
    Host()->ShowPage(QStringLiteral("TfrmLinkSource"));
    return true;
}

bool TfrmEsy_Line::Next() {
    Host()->ShowPage(QStringLiteral("TfrmEsy_DevList"));
    return true;
}

void TfrmEsy_Line::Label3Click() { ShowHelp(QStringLiteral("IDS_LINKNETWORK")); }
