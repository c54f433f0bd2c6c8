#include "SetWIFI.h"

#include "BusyWork.h"
#include "Controls.h"
#include "CurrentCamera.h"
#include "DevInfo.h"
#include "LangForms.h"
#include "LangRes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

constexpr int kRestartSecs = 60;

class TClickFilter : public QObject {
public:
    TClickFilter(QObject* parent, std::function<void()> onClick) : QObject(parent), onClick_(std::move(onClick)) {}
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::MouseButtonRelease)
            onClick_();
        return false;
    }

private:
    std::function<void()> onClick_;
};

QComboBox* List(QWidget* parent, const char* name, const QStringList& items) {
    auto* c = new QComboBox(parent);
    c->setObjectName(QLatin1String(name));
    c->setEditable(false);
    c->addItems(items);
    return c;
}

void SetIndex(QComboBox* c, int index) {
    // Setting a list from code does not run its change handler.
    const QSignalBlocker block(c);
    c->setCurrentIndex(index >= 0 && index < c->count() ? index : -1);
}

}  // namespace

TfrmEsy_SetWIFI::TfrmEsy_SetWIFI(IPageHost* host) : TWizardPage(host, QStringLiteral("frmEsy_SetWIFI")) {
    BuildFrame();

    auto label = [this](const char* name, const QString& text = QString()) {
        auto* l = new QLabel(Panel1);
        l->setObjectName(QLatin1String(name));
        l->setText(text);
        return l;
    };
    auto edit = [this](const char* name) {
        auto* e = new QLineEdit(Panel1);
        e->setObjectName(QLatin1String(name));
        return e;
    };
    auto button = [this](QWidget* parent, const char* name) {
        auto* b = new QPushButton(parent);
        b->setObjectName(QLatin1String(name));
        b->setMinimumSize(84, 26);
        return b;
    };

    GroupBox1 = new QGroupBox(Panel1);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    lstWiFi = new QListWidget(GroupBox1);
    lstWiFi->setObjectName(QStringLiteral("lstWiFi"));
    BitBtn1 = button(GroupBox1, "BitBtn1");
    auto* group = new QVBoxLayout(GroupBox1);
    group->addWidget(lstWiFi, 1);
    group->addWidget(BitBtn1, 0, Qt::AlignRight);

    Label1 = label("Label1");
    chkUseWiFi = new QCheckBox(Panel1);
    chkUseWiFi->setObjectName(QStringLiteral("chkUseWiFi"));
    chkUseWiFi->setChecked(true);
    Label2 = label("Label2", QString::fromUtf8("SSID\xEF\xBC\x9A"));
    edtSSID = edit("edtSSID");
    lblShareKey = label("lblShareKey");
    edtShareKey = edit("edtShareKey");
    Label4 = label("Label4");
    cmbSecurity = List(Panel1, "cmbSecurity",
                       {"None", "WEP", "WPA-PSK Personal(AES)", "WPA-PSK Personal(TKIP)", "WPA2-PSK Personal(AES)",
                        "WPA2-PSK Persional(TKIP)"});
    Label3 = label("Label3");
    cmbMode = List(Panel1, "cmbMode", {"Infra", "Adhoc"});
    lblAuthMode = label("lblAuthMode");
    cmbAuthMode = List(Panel1, "cmbAuthMode", {"Open System", "Share Key"});
    lblHex = label("lblHex");
    chkHex = List(Panel1, "chkHex", {"Hexadecimal Number", "ASCII Character"});
    lblSelKey = label("lblSelKey");
    cmbSelKey = List(Panel1, "cmbSelKey", {"1", "2", "3", "4"});
    const char* keyLabels[4] = {"lblKey1", "lblKey2", "lblKey3", "lblKey4"};
    const char* keyEdits[4] = {"edtKey1", "edtKey2", "edtKey3", "edtKey4"};
    const char* keyBits[4] = {"cmbHex1", "cmbHex2", "cmbHex3", "cmbHex4"};
    for (int k = 0; k < 4; ++k) {
        lblKey[k] = label(keyLabels[k], QStringLiteral("Key %1").arg(k + 1));
        edtKey[k] = edit(keyEdits[k]);
        cmbHex[k] = List(Panel1, keyBits[k], {"64  Bits", "128 Bits"});
    }
    lblOK = label("lblOK");
    lblOK->setWordWrap(true);
    lblOK->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    BitBtn2 = button(Panel1, "BitBtn2");
    BitBtn3 = button(Panel1, "BitBtn3");
    BitBtn3->setVisible(false);
    // The security and network type come from the network taken, never from the user.
    for (QWidget* w : {static_cast<QWidget*>(Label4), static_cast<QWidget*>(cmbSecurity),
                       static_cast<QWidget*>(Label3), static_cast<QWidget*>(cmbMode)})
        w->setVisible(false);

    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(6);
    fields->setVerticalSpacing(4);
    int row = 0;
    auto add = [&](QWidget* l, QWidget* f, QWidget* extra = nullptr) {
        fields->addWidget(l, row, 0);
        fields->addWidget(f, row, 1);
        if (extra)
            fields->addWidget(extra, row, 2);
        ++row;
    };
    add(Label1, chkUseWiFi);
    add(Label2, edtSSID);
    add(lblShareKey, edtShareKey);
    add(Label4, cmbSecurity);
    add(Label3, cmbMode);
    add(lblAuthMode, cmbAuthMode);
    add(lblHex, chkHex);
    add(lblSelKey, cmbSelKey);
    for (int k = 0; k < 4; ++k)
        add(lblKey[k], edtKey[k], cmbHex[k]);
    fields->setColumnStretch(1, 1);
    fields->setRowStretch(row, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(GroupBox1, 1);
    top->addLayout(fields, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblOK, 1);
    bottom->addWidget(BitBtn3, 0, Qt::AlignBottom);
    bottom->addWidget(BitBtn2, 0, Qt::AlignBottom);
    auto* box = new QVBoxLayout(Panel1);
    box->setContentsMargins(10, 8, 10, 8);
    box->addLayout(top, 1);
    box->addLayout(bottom);

    ApplyLanguage(this);
    SetIndex(cmbSecurity, 0);
    SetIndex(cmbMode, 0);
    for (QComboBox* c : {cmbAuthMode, chkHex, cmbSelKey, cmbHex[0], cmbHex[1], cmbHex[2], cmbHex[3]})
        SetIndex(c, 0);
    cmbSecurityChange();
    cmbSelKeyChange();

    connect(BitBtn1, &QPushButton::clicked, this, &TfrmEsy_SetWIFI::BitBtn1Click);
    connect(lstWiFi, &QListWidget::itemClicked, this, [this](QListWidgetItem* it) { lstWiFiClick(lstWiFi->row(it)); });
    connect(BitBtn2, &QPushButton::clicked, this, &TfrmEsy_SetWIFI::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TfrmEsy_SetWIFI::BitBtn3Click);
    connect(chkUseWiFi, &QCheckBox::clicked, this, &TfrmEsy_SetWIFI::chkUseWiFiClick);
    Label1->installEventFilter(new TClickFilter(this, [this] { Label1Click(); }));
    connect(cmbSecurity, &QComboBox::activated, this, &TfrmEsy_SetWIFI::cmbSecurityChange);
    connect(cmbSelKey, &QComboBox::activated, this, &TfrmEsy_SetWIFI::cmbSelKeyChange);
    connect(edtShareKey, &QLineEdit::textChanged, this, &TfrmEsy_SetWIFI::edtShareKeyChange);
}

bool TfrmEsy_SetWIFI::Back() {
    Host()->ShowPage(QStringLiteral("TfrmEsy_SetIP"));
    return true;
}

bool TfrmEsy_SetWIFI::Next() {
    Host()->ShowPage(QStringLiteral("TfrmEsy_ChkDDNS"));
    return true;
}

ICameraWiFi* TfrmEsy_SetWIFI::WiFiOf(const TDevInfo& rec) const { return FamilyOf(rec).WiFi(); }

void TfrmEsy_SetWIFI::FormShow() {
    BitBtn1->setEnabled(true);
    BitBtn1Click();
    if (!ReadSettings()) {
        edtSSID->clear();
        SetIndex(cmbSecurity, 0);
        SetIndex(cmbMode, 0);
        cmbSecurityChange();
        cmbSelKeyChange();
    }
}

void TfrmEsy_SetWIFI::FormHide() {
    BitBtn1->setEnabled(false);
    BitBtn2->setEnabled(false);
    BitBtn3->setEnabled(false);
}

void TfrmEsy_SetWIFI::BitBtn1Click() {
    const std::optional<TDevInfo> rec = CurrentDevice();
    if (!rec)
        return;
    lstWiFi->clear();
    networks_.clear();
    ICameraWiFi* wifi = WiFiOf(*rec);
    if (!wifi)
        return;
    const TLogin login = CurrentLogin();
    const TDevInfo cam = *rec;
    TWiFiScan scan = BusyWork::Run([wifi, cam, login] { return wifi->Scan(cam, login); });
    if (scan.status == TWiFiStatus::kNoConnection) {
        ResMessageBox(QStringLiteral("IDS_CANTCONNECT"), QStringLiteral("IDS_ERROR"), MB::ICONERROR);
        return;
    }
    networks_ = std::move(scan.networks);
    for (const TWiFiNetwork& n : networks_)
        lstWiFi->addItem(n.text);
}

void TfrmEsy_SetWIFI::lstWiFiClick(int index) {
    const std::optional<TDevInfo> rec = CurrentDevice();
    if (!rec || index < 0 || index >= int(networks_.size()))
        return;
    ICameraWiFi* wifi = WiFiOf(*rec);
    if (!wifi)
        return;
    const TWiFiPageRules& rules = wifi->Rules();
    rules_ = rules;
    const TWiFiNetwork& n = networks_[size_t(index)];
    ssidTag_ = index;
    if (!rules.takesOtherSecurity && n.security == kWiFiOther)
        return;
    edtSSID->setText(n.ssid);
    if (rules.takeClearsKey)
        edtShareKey->clear();
    SetIndex(cmbSecurity, n.security);
    SetIndex(cmbMode, n.mode);
    for (QComboBox* c : {cmbAuthMode, chkHex, cmbSelKey, cmbHex[0], cmbHex[1], cmbHex[2], cmbHex[3]})
        SetIndex(c, 0);
    cmbSecurityChange();
    cmbSelKeyChange();
}

void TfrmEsy_SetWIFI::ShowKeyRow(int row, bool on) {
    lblKey[row]->setVisible(on);
    edtKey[row]->setVisible(on);
    cmbHex[row]->setVisible(on);
}

void TfrmEsy_SetWIFI::cmbSecurityChange() {
    for (int k = 0; k < 4; ++k)
        ShowKeyRow(k, false);
    const int i = cmbSecurity->currentIndex();
    const bool wep = i == kWiFiWep && !rules_.singleKey;
    const bool shared = !wep && i != kWiFiNone;  // 2 to 5, or none selected
    for (QWidget* w : {static_cast<QWidget*>(lblHex), static_cast<QWidget*>(chkHex),
                       static_cast<QWidget*>(lblSelKey), static_cast<QWidget*>(cmbSelKey),
                       static_cast<QWidget*>(lblAuthMode), static_cast<QWidget*>(cmbAuthMode)})
        w->setVisible(wep);
    lblShareKey->setVisible(shared);
    edtShareKey->setVisible(shared);
}

void TfrmEsy_SetWIFI::cmbSelKeyChange() {
    for (int k = 0; k < 4; ++k)
        ShowKeyRow(k, false);
    const int i = cmbSelKey->currentIndex();
    if (!cmbSelKey->isHidden() && i >= 0 && i < 4)
        ShowKeyRow(i, true);
}

void TfrmEsy_SetWIFI::chkUseWiFiClick() {
    cmbSecurity->setEnabled(chkUseWiFi->isChecked());
    BitBtn2->setEnabled(true);
    BitBtn3->setEnabled(true);
}

void TfrmEsy_SetWIFI::Label1Click() {
    chkUseWiFi->toggle();
    chkUseWiFiClick();
}

void TfrmEsy_SetWIFI::edtShareKeyChange() {
    BitBtn2->setEnabled(true);
    BitBtn3->setEnabled(true);
}

bool TfrmEsy_SetWIFI::ReadSettings() {
    const std::optional<TDevInfo> rec = CurrentDevice();
    if (!rec)
        return false;
    ICameraWiFi* wifi = WiFiOf(*rec);
    if (!wifi)
        return false;
    const TWiFiPageRules& rules = wifi->Rules();
    rules_ = rules;
    Label1->setVisible(rules.onOffShown);
    chkUseWiFi->setVisible(rules.onOffShown);
    edtSSID->setReadOnly(!rules.ssidEditable);

    const TLogin login = CurrentLogin();
    const TDevInfo cam = *rec;
    const TWiFiRead read = BusyWork::Run([wifi, cam, login] { return wifi->Read(cam, login); });
    if (read.status == TWiFiStatus::kNoConnection)
        ResMessageBox(QStringLiteral("IDS_CANTCONNECT"), QStringLiteral("IDS_ERROR"), MB::ICONERROR);
    if (read.status != TWiFiStatus::kOk)
        return false;
    const TWiFiSettings& s = read.settings;
    curWiFi_ = s;

    chkUseWiFi->setChecked(s.enable);
    switch (rules.readMatch) {
    case TWiFiMatch::kContains:
        // The camera's network in the list is selected; the SSID is what the camera has.
        for (int i = 0; i < lstWiFi->count(); ++i)
            if (lstWiFi->item(i)->text().contains(s.ssid)) {
                lstWiFi->setCurrentRow(i);
                ssidTag_ = i;
                break;
            }
        edtSSID->setText(s.ssid);
        edtShareKey->setText(s.sharedKey);
        if (rules.singleKey) {
            SetIndex(cmbSecurity, s.security);
            cmbSecurityChange();
        }
        return true;
    case TWiFiMatch::kNameEquals: {
        chkUseWiFiClick();
        ssidTag_ = 0;
        for (int i = 0; i < lstWiFi->count(); ++i) {
            const QString text = lstWiFi->item(i)->text();
            const qsizetype bracket = text.indexOf(u'(');
            if ((bracket < 0 ? text : text.left(bracket)) == s.ssid) {
                ssidTag_ = i;
                edtSSID->setText(s.ssid);
                edtShareKey->setText(s.sharedKey);
                SetIndex(cmbSecurity, s.security);
                SetIndex(cmbMode, s.mode);
                return true;
            }
        }
        return false;
    }
    case TWiFiMatch::kNone:
        break;
    }
    chkUseWiFiClick();
    edtSSID->setText(s.ssid);
    SetIndex(cmbSecurity, s.security);
    SetIndex(cmbMode, s.mode);
    edtShareKey->setText(s.sharedKey);
    if (rules.readsWep) {
        SetIndex(cmbAuthMode, s.authType);
        SetIndex(chkHex, s.keyFormat);
        SetIndex(cmbSelKey, s.defaultKey);
        for (int k = 0; k < 4; ++k) {
            edtKey[k]->setText(s.keys[k]);
            SetIndex(cmbHex[k], s.keyBits[k]);
        }
    }
    cmbSecurityChange();
    cmbSelKeyChange();
    return true;
}

void TfrmEsy_SetWIFI::BitBtn3Click() {
    if (!ReadSettings()) {
        edtSSID->clear();
        SetIndex(cmbSecurity, 0);
        SetIndex(cmbMode, 0);
    }
}

TWiFiSettings TfrmEsy_SetWIFI::SettingsFromPage() const {
    TWiFiSettings s = curWiFi_.value_or(TWiFiSettings{});
    s.enable = chkUseWiFi->isChecked();
    s.ssid = edtSSID->text();
    s.mode = cmbMode->currentIndex();
    s.security = cmbSecurity->currentIndex();
    s.authType = cmbAuthMode->currentIndex();
    s.keyFormat = chkHex->currentIndex();
    s.defaultKey = cmbSelKey->currentIndex();
    for (int k = 0; k < 4; ++k) {
        s.keys[k] = edtKey[k]->text();
        s.keyBits[k] = cmbHex[k]->currentIndex();
    }
    s.sharedKey = edtShareKey->text();
    return s;
}

void TfrmEsy_SetWIFI::BitBtn2Click() {
    const std::optional<TDevInfo> rec = CurrentDevice();
    if (!rec)
        return;
    ICameraWiFi* wifi = WiFiOf(*rec);
    if (!wifi)
        return;
    const TWiFiSettings settings = SettingsFromPage();
    std::optional<TWiFiNetwork> network;
    if (ssidTag_ >= 0 && ssidTag_ < int(networks_.size()))
        network = networks_[size_t(ssidTag_)];
    const TLogin login = CurrentLogin();
    const TDevInfo cam = *rec;
    const TWiFiApply r = BusyWork::Run([wifi, cam, login, settings, network] {
        return wifi->Apply(cam, login, settings, network ? &*network : nullptr);
    });
    if (r == TWiFiApply::kRestarting)
        RestartWait();
    else if (r == TWiFiApply::kRestartFailed)
        ResMessageBox(QStringLiteral("IDS_CANTCONNECT"), QStringLiteral("IDS_ERROR"), MB::ICONERROR);
    BusyWork::Run([wifi, cam] { wifi->EndApply(cam); });
}

void TfrmEsy_SetWIFI::RestartWait() {
    const TCurrentCamera& cur = Cur();
    const int r = WaitForRestart(kRestartSecs, cur.CurDevMac, cur.CurDevIP, GetResString(QStringLiteral("IDS_REMOVELAN")));
    if (r == 0) {
        lblOK->setText(ForDisplay(GetResString(QStringLiteral("IDS_SETWIFIOK"))));
        return;
    }
    if (r == 1) {
        Host()->ShowPage(QStringLiteral("TfrmEsy_DevList"));
        return;
    }
    if (ResMessageBox(QStringLiteral("IDS_SETWIFIFAIL"), QStringLiteral("IDS_ERROR"), MB::ICONERROR | MB::YESNO) !=
        MB::IDYES)
        return;
    const int r2 =
        WaitForRestart(kRestartSecs, cur.CurDevMac, cur.CurDevIP, GetResString(QStringLiteral("IDS_PLUGLAN")));
    if (r2 == 2)
        ResMessageBox(QStringLiteral("IDS_NOFOUND"), QStringLiteral("IDS_WARNING"), MB::ICONWARNING);
    else if (r2 == 1)
        Host()->ShowPage(QStringLiteral("TfrmEsy_DevList"));  // a cancelled wait returns to the camera list
}
