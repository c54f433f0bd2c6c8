#include "AdvMain.h"

#include "AuthInput.h"
#include "BusyWork.h"
#include "Controls.h"
#include "CurrentCamera.h"
#include "DiscoveryEngine.h"
#include "FamilyRegistry.h"
#include "LangForms.h"
#include "LangRes.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QLineEdit* ReadOnlyField(QWidget* parent, const char* name, const QRect& g) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setReadOnly(true);
    e->setGeometry(g);
    return e;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QRect& g) {
    auto* l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(g);
    return l;
}

}  // namespace

TfrmAdv_Main::TfrmAdv_Main(IPageHost* host)
    : TfrmPageBase(host, QStringLiteral("frmAdv_Main")), engine_(new DiscoveryEngine(host->Families(), this)) {
    QFont base = font();
    base.setPointSize(8);
    setFont(base);

    TeGroupBox1 = new TTeGroupBox(this);
    TeGroupBox1->setObjectName(QStringLiteral("TeGroupBox1"));
    TeGroupBox1->setGeometry(8, 4, 300, 128);
    lblCard = MakeLabel(TeGroupBox1, "lblCard", QRect(10, 22, 90, 22));
    cmbCards = new QComboBox(TeGroupBox1);
    cmbCards->setObjectName(QStringLiteral("cmbCards"));
    cmbCards->setGeometry(100, 22, 190, 22);
    Label1 = MakeLabel(TeGroupBox1, "Label1", QRect(10, 48, 90, 22));
    edCurIP = ReadOnlyField(TeGroupBox1, "edCurIP", QRect(100, 48, 190, 22));
    Label7 = MakeLabel(TeGroupBox1, "Label7", QRect(10, 73, 90, 22));
    edCurSubmask = ReadOnlyField(TeGroupBox1, "edCurSubmask", QRect(100, 73, 190, 22));
    Label9 = MakeLabel(TeGroupBox1, "Label9", QRect(10, 98, 90, 22));
    edCurGate = ReadOnlyField(TeGroupBox1, "edCurGate", QRect(100, 98, 190, 22));

    TeGroupBox2 = new TTeGroupBox(this);
    TeGroupBox2->setObjectName(QStringLiteral("TeGroupBox2"));
    TeGroupBox2->setGeometry(8, 136, 300, 254);
    ListView = new TListView(TeGroupBox2);
    ListView->setObjectName(QStringLiteral("ListView"));
    ListView->setGeometry(10, 20, 280, 192);
    ListView->setRootIsDecorated(false);
    ListView->setUniformRowHeights(true);
    ListView->setAllColumnsShowFocus(true);
    ListView->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView->setModel(&engine_->Devices());
    ListView->header()->setSectionsClickable(true);
    ListView->header()->setSortIndicatorShown(true);
    ListView->setColumnWidth(0, 50);
    ListView->setColumnWidth(1, 110);

    plInfo = new TPanel(TeGroupBox2, QStringLiteral("plInfo"));
    plInfo->setGeometry(20, 90, 260, 30);
    QPalette red = plInfo->palette();
    red.setColor(QPalette::WindowText, QColor(220, 0, 0));
    plInfo->setPalette(red);

    lblDevNum = MakeLabel(TeGroupBox2, "lblDevNum", QRect(10, 220, 90, 24));
    btnFind = new QPushButton(TeGroupBox2);
    btnFind->setObjectName(QStringLiteral("btnFind"));
    btnFind->setGeometry(110, 218, 84, 26);
    spbExport = new TSpeedButton(TeGroupBox2);
    spbExport->setObjectName(QStringLiteral("spbExport"));
    spbExport->setGeometry(200, 218, 90, 26);
    spbExport->setEnabled(false);
    SaveDialog1 = new TSaveDialog(this);
    SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
    SaveDialog1->SetFilter(QStringLiteral("*.txt|*.txt"));

    ApplyLanguage(this);

    TDeviceList& list = engine_->Devices();
    connect(&list, &TDeviceList::deviceCountChanged, this, &TfrmAdv_Main::OnDeviceCountChanged);
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
    connect(btnFind, &QPushButton::clicked, this, &TfrmAdv_Main::btnFindClick);
    connect(spbExport, &QToolButton::clicked, this, &TfrmAdv_Main::spbExportClick);
    connect(cmbCards, &QComboBox::currentIndexChanged, this, &TfrmAdv_Main::cmbCardsChange);

    GetNetCards(cards_);
    for (const TNET_CARD* c : cards_)
        cmbCards->addItem(c->Description.isEmpty() ? c->ConnName : c->Description);
    cmbCards->setCurrentIndex(cards_.isEmpty() ? -1 : 0);
    cmbCardsChange();

    engine_->Start();
    list.UpdateDeviceCount();
}

TfrmAdv_Main::~TfrmAdv_Main() {
    engine_->Stop();
    FreeNetCards(&cards_);
}

TDeviceList& TfrmAdv_Main::Devices() { return engine_->Devices(); }

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

void TfrmAdv_Main::cmbCardsChange() {
    const int i = cmbCards->currentIndex();
    if (i < 0 || i >= cards_.size()) {
        edCurIP->clear();
        edCurSubmask->clear();
        edCurGate->clear();
        return;
    }
    edCurIP->setText(cards_[i]->IP);
    edCurSubmask->setText(cards_[i]->Mask);
    edCurGate->setText(cards_[i]->Gateway);
}

void TfrmAdv_Main::btnFindClick() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    engine_->Find();
    QApplication::restoreOverrideCursor();
}

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
    engine_->Shown();
    if (cmbCards->currentIndex() < 0 && cmbCards->count() > 0)
        cmbCards->setCurrentIndex(0);
    UpdateExportEnabled();
}

void TfrmAdv_Main::hideEvent(QHideEvent* e) {
    TfrmPageBase::hideEvent(e);
    spbExport->setEnabled(false);
}
