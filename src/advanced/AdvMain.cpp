#include "AdvMain.h"

#include "AddressProbe.h"
#include "AuthInput.h"
#include "BusyWork.h"
#include "Controls.h"
#include "CurrentCamera.h"
#include "DdnsCheckService.h"
#include "DiscoveryEngine.h"
#include "FamilyRegistry.h"
#include "UpgradeSoft.h"
#include "IpEdit.h"
#include "LangForms.h"
#include "LangRes.h"
#include "NetAddress.h"
#include "OpenAddress.h"
#include "OptionFile.h"
#include "PortForward.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// The name field takes what the cameras store; a longer name a camera reports is shown whole.
constexpr int kMaxName = 15;
// The last number of a camera's address: neither the network nor the broadcast address.
constexpr int kFirstHost = 1;
constexpr int kLastHost = 254;
// One-key set: the camera number gives the ports (82 and 555 for the first camera).
constexpr int kHttpPortBase = 81;
constexpr int kDataPortBase = 554;

// A read-only field shows the button face, an editable one the text background.
void SetFieldEditable(QLineEdit* e, bool editable) {
    e->setReadOnly(!editable);
    QPalette p = e->palette();
    p.setColor(QPalette::Base, QApplication::palette(e).color(editable ? QPalette::Base : QPalette::Button));
    e->setPalette(p);
}

QLineEdit* ReadOnlyField(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    SetFieldEditable(e, false);
    return e;
}

QLabel* MakeLabel(QWidget* parent, const char* name) {
    auto* l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

QSpinBox* PortField(QWidget* parent, const char* name) {
    auto* s = new QSpinBox(parent);
    s->setObjectName(QLatin1String(name));
    s->setRange(0, 65535);  // five digits, and a port has no more
    s->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    s->setAccelerated(true);
    s->setMinimumWidth(s->fontMetrics().horizontalAdvance(QStringLiteral("65535")) + 30);
    return s;
}

bool SameSubnet(const QString& a, const QString& b, const QString& mask) {
    const auto x = IpToBytes(a), y = IpToBytes(b), m = IpToBytes(mask);
    if (!x || !y || !m || *m == TIp4{})
        return false;
    for (size_t i = 0; i < 4; ++i)
        if (((*x)[i] & (*m)[i]) != ((*y)[i] & (*m)[i]))
            return false;
    return true;
}

}  // namespace

TfrmAdv_Main::TfrmAdv_Main(IPageHost* host)
    : TfrmPageBase(host, QStringLiteral("frmAdv_Main")), engine_(new DiscoveryEngine(host->Families(), this)) {
    SetAddressProber(nullptr);
    upgradeDialog_ = [this](const TUpgradeRequest& r) {
        TfrmUpgradeSoft dlg(Host()->Families(), this);
        dlg.DevFamily = r.Family;
        dlg.DevIP = r.IP;
        dlg.DevPort = r.Port;
        dlg.DevUser = r.User;
        dlg.DevPwd = r.Password;
        dlg.DevRecord = r.Record;
        return dlg.exec() == QDialog::Accepted;
    };
    QFont base = font();
    base.setPointSize(8);
    setFont(base);

    BuildLeft();
    BuildRight();
    auto* page = new QHBoxLayout(this);
    page->setContentsMargins(8, 4, 8, 4);
    page->setSpacing(6);
    auto* left = new QVBoxLayout;
    left->setSpacing(4);
    left->addWidget(TeGroupBox1);
    left->addWidget(TeGroupBox2, 1);
    page->addLayout(left, 0);
    page->addWidget(TeGroupBox3, 1);

    // The address modes: the template's entries carry 0, 1, 2; the language gives the texts.
    cmbIPAssBak = new QComboBox(this);
    cmbIPAssBak->setObjectName(QStringLiteral("cmbIPAssBak"));
    cmbIPAssBak->addItem(QStringLiteral("ADSL Virtual Dial(PPPoE)"), int(kAddrPppoe));
    cmbIPAssBak->addItem(QStringLiteral("Dynamic IP Address(DHCP)"), int(kAddrDhcp));
    cmbIPAssBak->addItem(QStringLiteral("Static IP Address"), int(kAddrStatic));
    cmbIPAssBak->hide();

    ApplyLanguage(this);
    // A change of language reaches the template; the shown list follows it.
    connect(cmbIPAssBak->model(), &QAbstractItemModel::dataChanged, this, &TfrmAdv_Main::SyncAddressModeTexts);

    TDeviceList& list = engine_->Devices();
    connect(&list, &TDeviceList::deviceCountChanged, this, &TfrmAdv_Main::OnDeviceCountChanged);
    connect(&list, &TDeviceList::detailsChanged, this, &TfrmAdv_Main::OnDetailsChanged);
    connect(&list, &TDeviceList::ddnsChanged, this, &TfrmAdv_Main::OnDdnsChanged);
    connect(&list, &QAbstractItemModel::modelReset, this, &TfrmAdv_Main::OnSelectionChanged);
    connect(&list, &QAbstractItemModel::rowsRemoved, this, &TfrmAdv_Main::OnSelectionChanged);
    connect(ListView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TfrmAdv_Main::OnSelectionChanged);
    connect(ListView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TfrmAdv_Main::OnSelectionChanged);
    // A camera found by any family, the family-4 library's included: the library's thread
    // hands each record over and waits until it is merged here (FindHisi.h).
    connect(engine_, &DiscoveryEngine::deviceAdded, this, [this] {
        SelectFirstRowIfNone();
        UpdateExportEnabled();
    });
    connect(ListView->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        Devices().ColumnClicked(column);
        ListView->header()->setSortIndicator(Devices().SortColumn(),
                                             Devices().SortAscending() ? Qt::AscendingOrder : Qt::DescendingOrder);
    });
    ListView->header()->setSortIndicator(list.SortColumn(), list.SortAscending() ? Qt::AscendingOrder : Qt::DescendingOrder);
    connect(ListView, &QAbstractItemView::doubleClicked, this, &TfrmAdv_Main::ListViewDblClick);

    connect(btnFind, &QPushButton::clicked, this, &TfrmAdv_Main::btnFindClick);
    connect(spbExport, &QToolButton::clicked, this, &TfrmAdv_Main::spbExportClick);
    connect(cmbCards, &QComboBox::currentIndexChanged, this, &TfrmAdv_Main::cmbCardsChange);
    connect(edCurIP, &QLineEdit::textChanged, this, &TfrmAdv_Main::UpdateFillEnabled);
    connect(cmbIPAss, &QComboBox::currentIndexChanged, this, &TfrmAdv_Main::cmbIPAssChange);
    for (TIPEdit* e : {edIP, edSubMask, edGateway})
        connect(e, &TIPEdit::textChanged, this, &TfrmAdv_Main::EditorChanged);
    for (QSpinBox* s : {edPort, edDataPort}) {
        connect(s, &QSpinBox::textChanged, this, &TfrmAdv_Main::EditorChanged);
        s->installEventFilter(this);  // a key pressed there counts as a change
    }
    connect(btnApply, &QPushButton::clicked, this, &TfrmAdv_Main::btnApplyClick);
    connect(btnFill, &QPushButton::clicked, this, &TfrmAdv_Main::btnFillClick);
    connect(spbOpen, &QToolButton::clicked, this, &TfrmAdv_Main::spbOpenClick);
    connect(spbOpenOuterUrl, &QToolButton::clicked, this, &TfrmAdv_Main::spbOpenOuterUrlClick);
    connect(spbCheckOuterUrl, &QToolButton::clicked, this, &TfrmAdv_Main::spbCheckOuterUrlClick);
    connect(BtnPortMap, &QPushButton::clicked, this, &TfrmAdv_Main::BtnPortMapClick);
    connect(btnUpgrade, &QPushButton::clicked, this, &TfrmAdv_Main::btnUpgradeClick);

    GetNetCards(cards_);
    for (const TNET_CARD* c : cards_)
        cmbCards->addItem(c->Description.isEmpty() ? c->ConnName : c->Description);
    cmbCards->setCurrentIndex(cards_.isEmpty() ? -1 : 0);
    cmbCardsChange();

    RefreshDetails();
    engine_->Start();
    list.UpdateDeviceCount();
}

TfrmAdv_Main::~TfrmAdv_Main() {
    // Closing: the search stops (tick, the families' own searches, sockets), then the list goes.
    engine_->Stop();
    disconnect(&engine_->Devices(), nullptr, this, nullptr);
    disconnect(ListView->selectionModel(), nullptr, this, nullptr);
    engine_->Devices().ClearDevices();
    FreeNetCards(&cards_);
}

void TfrmAdv_Main::BuildLeft() {
    TeGroupBox1 = new TTeGroupBox(this);
    TeGroupBox1->setObjectName(QStringLiteral("TeGroupBox1"));
    lblCard = MakeLabel(TeGroupBox1, "lblCard");
    cmbCards = new QComboBox(TeGroupBox1);
    cmbCards->setObjectName(QStringLiteral("cmbCards"));
    cmbCards->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cmbCards->setMinimumContentsLength(12);
    Label1 = MakeLabel(TeGroupBox1, "Label1");
    edCurIP = ReadOnlyField(TeGroupBox1, "edCurIP");
    Label7 = MakeLabel(TeGroupBox1, "Label7");
    edCurSubmask = ReadOnlyField(TeGroupBox1, "edCurSubmask");
    Label9 = MakeLabel(TeGroupBox1, "Label9");
    edCurGate = ReadOnlyField(TeGroupBox1, "edCurGate");
    auto* pc = new QGridLayout(TeGroupBox1);
    pc->setContentsMargins(8, 4, 8, 6);
    pc->setVerticalSpacing(3);
    const std::pair<QLabel*, QWidget*> pcRows[] = {
        {lblCard, cmbCards}, {Label1, edCurIP}, {Label7, edCurSubmask}, {Label9, edCurGate}};
    for (int r = 0; r < 4; ++r) {
        pc->addWidget(pcRows[r].first, r, 0);
        pc->addWidget(pcRows[r].second, r, 1);
    }
    pc->setColumnStretch(1, 1);

    TeGroupBox2 = new TTeGroupBox(this);
    TeGroupBox2->setObjectName(QStringLiteral("TeGroupBox2"));
    ListView = new TListView(TeGroupBox2);
    ListView->setObjectName(QStringLiteral("ListView"));
    ListView->setRootIsDecorated(false);
    ListView->setUniformRowHeights(true);
    ListView->setAllColumnsShowFocus(true);
    ListView->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView->setModel(&engine_->Devices());
    ListView->header()->setSectionsClickable(true);
    ListView->header()->setSortIndicatorShown(true);
    ListView->setColumnWidth(0, 46);
    ListView->setColumnWidth(1, 100);
    ListView->setMinimumSize(250, 120);
    ListView->installEventFilter(this);  // keeps the notice centred over the list

    // The notice lies over the empty list and lets clicks through to it.
    plInfo = new TPanel(ListView, QStringLiteral("plInfo"));
    plInfo->setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette red = plInfo->palette();
    red.setColor(QPalette::WindowText, QColor(220, 0, 0));
    plInfo->setPalette(red);

    lblDevNum = MakeLabel(TeGroupBox2, "lblDevNum");
    btnFind = MakeNamed<QPushButton>(TeGroupBox2, "btnFind");
    spbExport = MakeNamed<TSpeedButton>(TeGroupBox2, "spbExport");
    spbExport->setEnabled(false);
    spbExport->setToolButtonStyle(Qt::ToolButtonTextOnly);
    SaveDialog1 = new TSaveDialog(this);
    SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
    SaveDialog1->SetFilter(QStringLiteral("*.txt|*.txt"));
    auto* cams = new QVBoxLayout(TeGroupBox2);
    cams->setContentsMargins(8, 4, 8, 6);
    cams->setSpacing(4);
    cams->addWidget(ListView, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblDevNum, 1);
    bottom->addWidget(btnFind);
    bottom->addWidget(spbExport);
    cams->addLayout(bottom);
}

void TfrmAdv_Main::BuildRight() {
    TeGroupBox3 = new TTeGroupBox(this);
    TeGroupBox3->setObjectName(QStringLiteral("TeGroupBox3"));
    PageControl = new QTabWidget(TeGroupBox3);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    auto* group = new QVBoxLayout(TeGroupBox3);
    group->setContentsMargins(6, 2, 6, 6);
    group->addWidget(PageControl);

    tabBase = new TTabSheet(nullptr, QStringLiteral("tabBase"));
    Label3 = MakeLabel(tabBase, "Label3");
    edName = new QLineEdit(tabBase);
    edName->setObjectName(QStringLiteral("edName"));
    edName->setMaxLength(kMaxName);
    Label8 = MakeLabel(tabBase, "Label8");
    edPort = PortField(tabBase, "edPort");
    lblDataPort = MakeLabel(tabBase, "lblDataPort");
    edDataPort = PortField(tabBase, "edDataPort");
    Label4 = MakeLabel(tabBase, "Label4");
    cmbIPAss = new QComboBox(tabBase);
    cmbIPAss->setObjectName(QStringLiteral("cmbIPAss"));
    cmbIPAss->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    lblIP = MakeLabel(tabBase, "lblIP");
    edIP = new TIPEdit(tabBase);
    edIP->setObjectName(QStringLiteral("edIP"));
    lblSubmask = MakeLabel(tabBase, "lblSubmask");
    edSubMask = new TIPEdit(tabBase);
    edSubMask->setObjectName(QStringLiteral("edSubMask"));
    lblGateway = MakeLabel(tabBase, "lblGateway");
    edGateway = new TIPEdit(tabBase);
    edGateway->setObjectName(QStringLiteral("edGateway"));
    Label5 = MakeLabel(tabBase, "Label5");
    edUrl = ReadOnlyField(tabBase, "edUrl");
    spbOpen = MakeNamed<TSpeedButton>(tabBase, "spbOpen");
    Label6 = MakeLabel(tabBase, "Label6");
    edOuterUrl = ReadOnlyField(tabBase, "edOuterUrl");
    spbCheckOuterUrl = MakeNamed<TSpeedButton>(tabBase, "spbCheckOuterUrl");
    spbOpenOuterUrl = MakeNamed<TSpeedButton>(tabBase, "spbOpenOuterUrl");
    btnFill = MakeNamed<QPushButton>(tabBase, "btnFill");
    BtnPortMap = MakeNamed<QPushButton>(tabBase, "BtnPortMap");
    btnApply = MakeNamed<QPushButton>(tabBase, "btnApply");
    btnApply->setEnabled(false);
    for (TSpeedButton* b : {spbOpen, spbCheckOuterUrl, spbOpenOuterUrl})
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);

    auto* g = new QGridLayout(tabBase);
    g->setContentsMargins(8, 6, 8, 6);
    g->setHorizontalSpacing(6);
    g->setVerticalSpacing(3);
    auto left = [](QWidget* w) {
        auto* row = new QHBoxLayout;
        row->setSpacing(4);
        row->addWidget(w);
        row->addStretch(1);
        return row;
    };
    g->addWidget(Label3, 0, 0);
    g->addWidget(edName, 0, 1);
    g->addWidget(Label8, 1, 0);
    g->addLayout(left(edPort), 1, 1);
    g->addWidget(lblDataPort, 2, 0);
    g->addLayout(left(edDataPort), 2, 1);
    g->addWidget(Label4, 3, 0);
    g->addLayout(left(cmbIPAss), 3, 1);
    g->addWidget(lblIP, 4, 0);
    g->addLayout(left(edIP), 4, 1);
    g->addWidget(lblSubmask, 5, 0);
    g->addLayout(left(edSubMask), 5, 1);
    g->addWidget(lblGateway, 6, 0);
    g->addLayout(left(edGateway), 6, 1);
    g->addWidget(Label5, 7, 0);
    auto* inner = new QHBoxLayout;
    inner->setSpacing(3);
    inner->addWidget(edUrl, 1);
    inner->addWidget(spbOpen);
    g->addLayout(inner, 7, 1);
    g->addWidget(Label6, 8, 0);
    auto* outer = new QHBoxLayout;
    outer->setSpacing(3);
    outer->addWidget(edOuterUrl, 1);
    outer->addWidget(spbCheckOuterUrl);
    outer->addWidget(spbOpenOuterUrl);
    g->addLayout(outer, 8, 1);
    // Port mapping belongs to the outer address it makes reachable.
    auto* mapRow = new QHBoxLayout;
    mapRow->addStretch(1);
    mapRow->addWidget(BtnPortMap);
    g->addLayout(mapRow, 9, 0, 1, 2);
    g->setRowStretch(10, 1);
    auto* actions = new QHBoxLayout;
    actions->addWidget(btnFill);
    actions->addStretch(1);
    actions->addWidget(btnApply);
    g->addLayout(actions, 11, 0, 1, 2);
    g->setColumnStretch(1, 1);

    tabOther = new TTabSheet(nullptr, QStringLiteral("tabOther"));
    Label11 = MakeLabel(tabOther, "Label11");
    edVersion = ReadOnlyField(tabOther, "edVersion");
    lblPreMac = MakeLabel(tabOther, "lblPreMac");
    lblMac = ReadOnlyField(tabOther, "lblMac");
    Label2 = MakeLabel(tabOther, "Label2");
    edDDnsPwd = ReadOnlyField(tabOther, "edDDnsPwd");
    btnUpgrade = MakeNamed<QPushButton>(tabOther, "btnUpgrade");
    btnUpgrade->setVisible(false);  // until a camera of a family with upgrades is shown
    auto* o = new QGridLayout(tabOther);
    o->setContentsMargins(8, 8, 8, 8);
    o->setVerticalSpacing(4);
    o->addWidget(Label11, 0, 0);
    o->addWidget(edVersion, 0, 1);
    o->addWidget(lblPreMac, 1, 0);
    o->addWidget(lblMac, 1, 1);
    o->addWidget(Label2, 2, 0);
    o->addWidget(edDDnsPwd, 2, 1);
    o->addLayout(left(btnUpgrade), 3, 1);
    o->setRowStretch(4, 1);
    o->setColumnStretch(1, 1);

    PageControl->addTab(tabBase, QStringLiteral("General"));
    PageControl->addTab(tabOther, QStringLiteral("Other"));
}

TDeviceList& TfrmAdv_Main::Devices() { return engine_->Devices(); }

const TFamilyTraits& TfrmAdv_Main::TraitsOf(qint32 family) const { return Host()->Families().Traits(family); }

TDevInfo* TfrmAdv_Main::SelectedRecord() {
    const QModelIndexList rows = ListView->selectionModel()->selectedRows();
    return rows.isEmpty() ? nullptr : Devices().RecordAt(rows.constFirst().row());
}

void TfrmAdv_Main::SetAddressProber(AddressProber prober) {
    prober_ = prober ? std::move(prober) : AddressProber([](const QString& address) { return AddressInUse(address); });
}

void TfrmAdv_Main::SetUpgradeDialog(UpgradeDialog dialog) {
    upgradeDialog_ = std::move(dialog);
    btnUpgrade->setVisible(hasShown_ && upgradeDialog_ && TraitsOf(upgradeFamily_).firmwareUpgrade);
}

// --- The editor ---------------------------------------------------------------------------

void TfrmAdv_Main::RefreshDetails() {
    refreshing_ = true;
    const TDevInfo* rec = SelectedRecord();
    for (TTabSheet* sheet : {tabBase, tabOther}) {
        sheet->setEnabled(rec != nullptr);
        for (QWidget* w : sheet->findChildren<QWidget*>())
            w->setEnabled(rec != nullptr);
    }
    UpdateFillEnabled();
    btnApply->setEnabled(false);
    SetFieldEditable(edName, true);
    edName->setMaxLength(kMaxName);

    if (!rec) {
        hasShown_ = false;
        shown_ = TDevInfo();
        for (QLineEdit* e : {edName, edUrl, edOuterUrl, lblMac, edDDnsPwd, edVersion})
            e->clear();
        for (TIPEdit* e : {edIP, edSubMask, edGateway})
            e->setText(QStringLiteral("0.0.0.0"));
        refreshing_ = false;
        return;
    }

    const TDevInfo r = *rec;
    const TFamilyTraits& t = TraitsOf(r.Family);
    shown_ = r;
    hasShown_ = true;

    // The address modes the family offers, the record's one selected.
    {
        const QSignalBlocker block(cmbIPAss);
        cmbIPAss->clear();
        for (int i = 0; i < cmbIPAssBak->count(); ++i) {
            const int mode = cmbIPAssBak->itemData(i).toInt();
            if (mode == kAddrPppoe && !t.offersPppoe)
                continue;
            cmbIPAss->addItem(cmbIPAssBak->itemText(i), mode);
        }
        cmbIPAss->setCurrentIndex(cmbIPAss->findData(int(r.AddrMode)));
    }
    SetFieldEditable(edName, t.nameEditable);
    upgradeFamily_ = r.Family;
    btnUpgrade->setVisible(t.firmwareUpgrade && upgradeDialog_ != nullptr);

    // A name longer than the field takes is shown whole: cutting it would rename the camera.
    edName->setMaxLength(std::max<int>(kMaxName, int(r.Name.size())));
    edName->setText(r.Name);
    edPort->setValue(r.HttpPort);
    edDataPort->setValue(r.DataPort);
    cmbIPAssChange();
    edIP->setText(r.IP);
    edSubMask->setText(r.Mask);
    edGateway->setText(r.Gateway);
    QString mac = r.Mac;
    lblMac->setText(mac.replace(u' ', u'0'));

    Label2->setVisible(t.ddnsPassword);
    edDDnsPwd->setVisible(t.ddnsPassword);
    edDDnsPwd->setText(r.DdnsPwd);
    edVersion->setText(r.Version);
    edUrl->setText(InnerUrl(r));
    edUrl->setCursorPosition(0);  // the start of an address says most
    // Without DDNS values the field is emptied: it must not go on showing the previous
    // camera's outer address.
    SetOuterUrl(OuterUrlOf(r));

    lblDataPort->setVisible(t.dataPort);
    edDataPort->setVisible(t.dataPort);
    Label4->setVisible(t.addressModeChoice);
    cmbIPAss->setVisible(t.addressModeChoice);
    refreshing_ = false;
}

QString TfrmAdv_Main::OuterUrlOf(const TDevInfo& rec) const {
    if (rec.DdnsServer.isEmpty() || rec.DdnsUser.isEmpty())
        return QString();
    if (!rec.DdnsServer.contains(u'.'))
        return QStringLiteral("http://") + rec.DdnsUser + u'.' + Host()->Config().DdnsDomain;
    return QStringLiteral("http://") + rec.DdnsUser + DdnsDomainOf(rec);
}

void TfrmAdv_Main::SetOuterUrl(const QString& url) {
    edOuterUrl->setText(url);
    edOuterUrl->setCursorPosition(0);
    const bool has = !url.isEmpty();
    for (QWidget* w : std::initializer_list<QWidget*>{spbOpenOuterUrl, Label6, spbCheckOuterUrl})
        w->setEnabled(has);
}

void TfrmAdv_Main::RebuildOuterUrl(const TDevInfo& rec) {
    // The same rule as the full refresh: an outer address must not depend on whether the DDNS
    // values came with the camera's first answer or later.
    SetOuterUrl(OuterUrlOf(rec));
}

void TfrmAdv_Main::cmbIPAssChange() {
    const int i = cmbIPAss->currentIndex();
    if (i < 0)
        return;
    const int mode = cmbIPAss->itemData(i).toInt();
    const bool shown = mode == kAddrDhcp || mode == kAddrStatic;
    const std::pair<QLabel*, TIPEdit*> fields[] = {
        {lblIP, edIP}, {lblSubmask, edSubMask}, {lblGateway, edGateway}};
    for (const auto& [label, edit] : fields) {
        label->setVisible(shown);
        edit->setVisible(shown);
        edit->setReadOnly(mode != kAddrStatic);
    }
    EditorChanged();
}

void TfrmAdv_Main::EditorChanged() {
    if (!refreshing_)
        btnApply->setEnabled(true);
}

void TfrmAdv_Main::SyncAddressModeTexts() {
    for (int i = 0; i < cmbIPAss->count(); ++i) {
        const int at = cmbIPAssBak->findData(cmbIPAss->itemData(i));
        if (at >= 0)
            cmbIPAss->setItemText(i, cmbIPAssBak->itemText(at));
    }
}

bool TfrmAdv_Main::ReadEditor(TDevInfo& rec) {
    if (edPort->cleanText().trimmed().isEmpty() || edPort->value() == 0) {
        // Port 0 is no port a camera can serve on: refused like a missing one.
        ResMessageBox(QStringLiteral("IDS_INPUTPORT"), QStringLiteral("IDS_WARNING"), MB::ICONWARNING);
        edPort->setFocus();
        return false;
    }
    rec.Name = edName->text().trimmed();
    rec.HttpPort = quint16(edPort->value());
    rec.DataPort = quint16(edDataPort->value());
    if (cmbIPAss->currentIndex() >= 0)
        rec.AddrMode = quint8(cmbIPAss->currentData().toInt());
    rec.IP = edIP->text();
    rec.Mask = edSubMask->text();
    rec.Gateway = edGateway->text();
    rec.DnsManual = true;
    rec.Dns1 = QStringLiteral("8.8.8.8");
    rec.Dns2 = QStringLiteral("208.67.222.222");
    return true;
}

void TfrmAdv_Main::OnSelectionChanged() {
    const TDevInfo* rec = SelectedRecord();
    if ((rec != nullptr) != hasShown_ || (rec && rec->Mac != shown_.Mac))
        RefreshDetails();
}

void TfrmAdv_Main::OnDetailsChanged() {
    // A reply replaced a row's values. The editor is filled anew only when they are the shown
    // camera's: a change of another camera must not throw away what the user is typing.
    const TDevInfo* rec = SelectedRecord();
    if (!rec || !hasShown_) {
        OnSelectionChanged();
        return;
    }
    TDevInfo now = *rec;
    now.TimeToLive = shown_.TimeToLive;
    if (now != shown_)
        RefreshDetails();
}

void TfrmAdv_Main::OnDdnsChanged(const QString& mac) {
    if (!hasShown_ || mac != shown_.Mac)
        return;
    const TDevInfo* rec = Devices().FindRecordByMac(mac);
    if (!rec)
        return;
    shown_.DdnsUser = rec->DdnsUser;
    shown_.DdnsPwd = rec->DdnsPwd;
    shown_.DdnsServer = rec->DdnsServer;
    edDDnsPwd->setText(rec->DdnsPwd);
    if (!rec->DdnsServer.isEmpty() && !rec->DdnsUser.isEmpty())
        RebuildOuterUrl(*rec);
}

bool TfrmAdv_Main::eventFilter(QObject* watched, QEvent* e) {
    if (watched == ListView && e->type() == QEvent::Resize) {
        const QRect r = ListView->rect();
        plInfo->setGeometry(10, r.height() / 2 - 15, std::max(0, r.width() - 20), 30);
    } else if ((watched == edPort || watched == edDataPort) && e->type() == QEvent::KeyPress) {
        EditorChanged();
    }
    return TfrmPageBase::eventFilter(watched, e);
}

void TfrmAdv_Main::changeEvent(QEvent* e) {
    TfrmPageBase::changeEvent(e);
    // A new language names the window first and then its components, the count label with
    // its bare caption: the count goes back on once the language is on.
    if (e->type() == QEvent::WindowTitleChange)
        QMetaObject::invokeMethod(this, [this] { Devices().UpdateDeviceCount(); }, Qt::QueuedConnection);
}

// --- This PC ------------------------------------------------------------------------------

void TfrmAdv_Main::cmbCardsChange() {
    const int i = cmbCards->currentIndex();
    if (i < 0 || i >= cards_.size()) {
        edCurIP->clear();
        edCurSubmask->clear();
        edCurGate->clear();
    } else {
        edCurIP->setText(cards_[i]->IP);
        edCurSubmask->setText(cards_[i]->Mask);
        edCurGate->setText(cards_[i]->Gateway);
    }
    UpdateFillEnabled();
}

void TfrmAdv_Main::UpdateFillEnabled() {
    btnFill->setEnabled(SelectedRecord() != nullptr && !edCurIP->text().isEmpty());
}

bool TfrmAdv_Main::InPcSubnet(const QString& address) const {
    for (const TNET_CARD* c : cards_)
        if (SameSubnet(address, c->IP, c->Mask))
            return true;
    return false;
}

// --- The buttons --------------------------------------------------------------------------

bool TfrmAdv_Main::AskLogin(qint32 family, const QString& passwordPreset, TLogin& login) {
    TfrmAuthInput dlg(Host()->Families(), this);
    dlg.edUser->setText(QString::fromLatin1(TCurrentCamera::kFactoryUser));
    dlg.edPwd->setText(passwordPreset);
    dlg.SetFamily(family);  // a family with a default account of its own shows it
    const bool ok = loginPrompt_ ? loginPrompt_(dlg) : dlg.exec() == QDialog::Accepted;
    if (!ok)
        return false;
    login.user = dlg.edUser->text().trimmed();
    login.password = dlg.edPwd->text().trimmed();
    return true;
}

bool TfrmAdv_Main::ConfirmAddressFree(const TDevInfo& oldRec, const TDevInfo& newRec) {
    // Only a fixed address the camera does not have yet can clash with another device.
    if (newRec.AddrMode != kAddrStatic || newRec.IP == oldRec.IP)
        return true;
    bool inUse = false;
    const TDeviceList& list = Devices();
    for (int i = 0; i < list.Count() && !inUse; ++i) {
        const TDevInfo* other = list.RecordAt(i);
        inUse = other->Mac != oldRec.Mac && other->IP == newRec.IP;
    }
    // Only the PC's own networks can be asked; the probe takes up to a second.
    if (!inUse && prober_ && InPcSubnet(newRec.IP)) {
        const AddressProber probe = prober_;
        const QString ip = newRec.IP;
        inUse = BusyWork::Run([probe, ip] { return probe(ip); });
    }
    if (!inUse)
        return true;
    QString text = GetResString(QStringLiteral("IDS_IPINUSE"));
    text.replace(QLatin1String("%s"), newRec.IP);
    return MessageBoxText(text, GetResString(QStringLiteral("IDS_WARNING")),
                          MB::YESNO | MB::ICONWARNING | MB::DEFBUTTON2) == MB::IDYES;
}

void TfrmAdv_Main::DropAndFind(const QString& mac) {
    const int row = Devices().FindItemByMac(mac);
    if (row >= 0)
        Devices().DeleteItem(row);
    btnFindClick();
}

void TfrmAdv_Main::btnApplyClick() {
    const TDevInfo* selected = SelectedRecord();
    if (!selected)
        return;
    const TDevInfo oldRec = *selected;  // the row may change or go while the command runs
    TDevInfo newRec = oldRec;
    const int last = edIP->Octet(3);
    if (last < kFirstHost || last > kLastHost || !ReadEditor(newRec))
        return;
    const TFamilyTraits& t = TraitsOf(oldRec.Family);
    if (!t.applyCommand)
        return;
    if (!ConfirmAddressFree(oldRec, newRec))
        return;
    TLogin login;
    if (!AskLogin(oldRec.Family, t.applyPasswordPreset, login))
        return;
    if (t.applyKeepsLogin) {
        newRec.LoginUser = login.user;
        newRec.LoginPwd = login.password;
    }
    ICameraFamily& family = Host()->Families().Get(oldRec.Family);
    DiscoveryEngine* engine = engine_;
    const TApplyResult result = BusyWork::Run([&family, engine, oldRec, newRec, login] {
        return family.ApplyNetwork(*engine, TApplyOrigin::Advanced, oldRec, newRec, login);
    });
    if (Applied(result)) {
        // The camera comes back with its new values through the search.
        DropAndFind(oldRec.Mac);
        return;
    }
    switch (result) {
    case TApplyResult::kRefused:
        ResMessageBox(QStringLiteral("IDS_ERRACCESS"), QStringLiteral("IDS_ERROR"), MB::ICONERROR);
        break;
    case TApplyResult::kMalformed:
        ResMessageBox(QStringLiteral("IDS_CONFIGUR_ERROR"), QStringLiteral("IDS_ERROR"), MB::ICONERROR);
        break;
    default:
        ResMessageBox(QStringLiteral("IDS_CANTCONNECT"), QStringLiteral("IDS_ERROR"), MB::ICONERROR);
        break;
    }
}

void TfrmAdv_Main::btnFillClick() {
    if (!SelectedRecord())
        return;
    if (cmbIPAss->currentIndex() < 0 || cmbIPAss->currentData().toInt() != kAddrStatic) {
        ResMessageBox(QStringLiteral("IDS_NOFIXIP"), QStringLiteral("IDS_INFORMATION"), MB::ICONWARNING);
        return;
    }
    if (ResMessageBox(QStringLiteral("IDS_AUTOCONFIGIPCAM"), QStringLiteral("IDS_CONFIRM"),
                      MB::YESNO | MB::ICONQUESTION) != MB::IDYES)
        return;
    // The camera keeps its host number in the PC's network.
    const int host = edIP->Octet(3);
    edIP->setText(edCurIP->text());
    edIP->SetOctet(3, host);
    const int camNo = Host()->CurrentCamera().CurCamNo;
    edPort->setValue(camNo + kHttpPortBase);
    edDataPort->setValue(camNo + kDataPortBase);
    edSubMask->setText(edCurSubmask->text());
    edGateway->setText(edCurGate->text());
    btnApplyClick();
}

void TfrmAdv_Main::btnFindClick() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    engine_->Find();
    QApplication::restoreOverrideCursor();
}

void TfrmAdv_Main::spbOpenClick() {
    if (!edUrl->text().isEmpty())
        OpenAddress(edUrl->text());
}

void TfrmAdv_Main::spbOpenOuterUrlClick() {
    if (!edOuterUrl->text().isEmpty())
        OpenAddress(edOuterUrl->text());
}

void TfrmAdv_Main::ListViewDblClick() {
    RefreshDetails();
    spbOpenClick();
}

void TfrmAdv_Main::spbCheckOuterUrlClick() {
    const TDevInfo* rec = SelectedRecord();
    if (!rec)
        return;
    const QString url = edOuterUrl->text();
    if (ddns::OuterCheckHost(url).isEmpty())
        return;  // no "." in the address: nothing to ask
    const QString account = rec->DdnsUser, password = rec->DdnsPwd;
    // Up to two requests of up to 20 s each: the window keeps painting meanwhile.
    const ddns::TOuterCheck check =
        BusyWork::Run([url, account, password] { return ddns::CheckOuterUrl(url, account, password); });
    if (check.Key.isEmpty())
        return;
    MessageBoxText(GetResString(check.Key) + check.Appended, GetResString(QStringLiteral("IDS_INFORMATION")),
                   MB::ICONINFORMATION);
}

void TfrmAdv_Main::BtnPortMapClick() {
    const TDevInfo* rec = SelectedRecord();
    if (!rec)
        return;
    const bool dataPort = TraitsOf(rec->Family).mapsDataPort;
    TfrmPortForward dlg(this);
    dlg.RouterIP = edGateway->text();
    dlg.AddMapping(edIP->text(), edPort->cleanText(), QStringLiteral("TCP"));
    if (dataPort)
        dlg.AddMapping(edIP->text(), edDataPort->cleanText(), QStringLiteral("TCP"));
    if (portMapPrompt_)
        portMapPrompt_(dlg);
    else
        dlg.exec();
}

void TfrmAdv_Main::btnUpgradeClick() {
    if (!upgradeDialog_ || !hasShown_)
        return;
    const qint32 family = upgradeFamily_;
    const QString mac = shown_.Mac;
    TLogin login;
    if (!AskLogin(family, TraitsOf(family).factoryPassword, login))
        return;
    TUpgradeRequest request{family, edIP->text(), edPort->value(), login.user, login.password};
    const int row = engine_->Devices().FindItemByMac(mac);
    if (row >= 0)
        request.Record = *engine_->Devices().RecordAt(row);
    // The search would disturb a camera taking its firmware: no probes meanwhile.
    btnUpgrade->setEnabled(false);
    engine_->PauseTick();
    setCursor(Qt::WaitCursor);
    bool ok = false;
    try {
        ok = upgradeDialog_(request);
    } catch (...) {
        ok = false;  // whatever happened, the window goes on searching
    }
    unsetCursor();
    btnUpgrade->setEnabled(true);
    engine_->ResumeTick();
    if (ok)
        DropAndFind(mac);
}

// --- Easy mode's settings change ----------------------------------------------------------

bool TfrmAdv_Main::LoginFor(const TDevInfo& oldRec, bool checkCredentials, QString& user, QString& password) {
    TCurrentCamera& cur = Host()->CurrentCamera();
    TfrmAuthInput dlg(Host()->Families(), this);
    dlg.edUser->setText(cur.CurDevUser);
    dlg.edPwd->setText(cur.CurDevPwd);
    dlg.SetFamily(oldRec.Family);
    dlg.DevUrl = QStringLiteral("http://") + oldRec.IP + QLatin1Char(':') + QString::number(oldRec.HttpPort);
    dlg.CheckEnabled = checkCredentials;
    if (dlg.TestCredentials(cur.CurDevUser, cur.CurDevPwd) == 0) {
        user = cur.CurDevUser;
        password = cur.CurDevPwd;
        return true;
    }
    const bool ok = loginPrompt_ ? loginPrompt_(dlg) : dlg.exec() == QDialog::Accepted;
    if (!ok)
        return false;
    cur.CurDevUser = dlg.edUser->text().trimmed();
    cur.CurDevPwd = dlg.edPwd->text().trimmed();
    user = cur.CurDevUser;
    password = cur.CurDevPwd;
    return true;
}

bool TfrmAdv_Main::ApplyNetSettings(const TDevInfo& oldRec, const TDevInfo& newRec, bool askLogin) {
    ICameraFamily& family = Host()->Families().Get(oldRec.Family);
    const TFamilyTraits& traits = family.Traits();
    QString user = Host()->CurrentCamera().CurDevUser, password = Host()->CurrentCamera().CurDevPwd;
    if ((askLogin || traits.easyAlwaysLogsIn) && !LoginFor(oldRec, traits.easyChecksLogin, user, password))
        return false;
    const TLogin login{user, password};
    DiscoveryEngine* engine = engine_;
    return Applied(BusyWork::Run([&family, engine, oldRec, newRec, login] {
        return family.ApplyNetwork(*engine, TApplyOrigin::Easy, oldRec, newRec, login);
    }));
}

// --- The list -----------------------------------------------------------------------------

bool TfrmAdv_Main::ExportTo(const QString& path) {
    QString error;
    if (Devices().ExportToFile(path, &error))
        return true;
    MessageBoxText(path + QStringLiteral("\n\n") + error, GetResString(QStringLiteral("IDS_ERROR")), MB::ICONERROR);
    return false;
}

void TfrmAdv_Main::spbExportClick() {
    QFileDialog dlg(this);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setNameFilter(SaveDialog1->QtFilter());
    dlg.setDefaultSuffix(QStringLiteral("txt"));
    dlg.selectFile(QStringLiteral("ipcam.txt"));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return;
    ExportTo(dlg.selectedFiles().constFirst());
}

void TfrmAdv_Main::OnDeviceCountChanged(int count) {
    lblDevNum->setText(GetResString(QStringLiteral("IDS_DEVCOUNT")) + QString::number(count));
    plInfo->setVisible(count == 0);
    SelectFirstRowIfNone();
    UpdateExportEnabled();
}

void TfrmAdv_Main::SelectFirstRowIfNone() {
    if (Devices().Count() == 0 || ListView->selectionModel()->hasSelection())
        return;
    ListView->setCurrentIndex(Devices().index(0, 0));
}

void TfrmAdv_Main::UpdateExportEnabled() { spbExport->setEnabled(Devices().Count() > 0 && isVisible()); }

void TfrmAdv_Main::showEvent(QShowEvent* e) {
    TfrmPageBase::showEvent(e);
    if (e->spontaneous())
        return;  // the desktop showed the window again (after minimising): nothing to redo
    RefreshDetails();
    engine_->Shown();
    if (cmbCards->currentIndex() < 0 && cmbCards->count() > 0)
        cmbCards->setCurrentIndex(0);
    UpdateExportEnabled();
    PageControl->setCurrentWidget(tabBase);
}

void TfrmAdv_Main::hideEvent(QHideEvent* e) {
    TfrmPageBase::hideEvent(e);
    spbExport->setEnabled(false);
    btnFill->setEnabled(false);
    BtnPortMap->setEnabled(false);
}
