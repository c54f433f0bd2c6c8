#include "PortForward.h"

#include "LangForms.h"
#include "LangRes.h"
#include "Tools.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The busy cursor of one action; restore() gives the normal cursor back early (before a
// message box), the destructor at the latest.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::BusyCursor); }
    ~BusyCursor() { restore(); }
    void restore() {
        if (active_)
            QApplication::restoreOverrideCursor();
        active_ = false;
    }

private:
    bool active_ = true;
};

const QString kError = QStringLiteral("IDS_ERROR");
const QString kInformation = QStringLiteral("IDS_INFORMATION");

}  // namespace

TfrmPortForward::TfrmPortForward(QWidget* parent, const TPortMapSetup& setup)
    : QDialog(parent), setup_(setup) {
    BusyCursor cursor;
    SetFormName(this, QStringLiteral("frmPortForward"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Port Mapping of Router"));
    QFont base = font();
    base.setPointSize(8);
    setFont(base);

    auto label = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(QLatin1String(name));
        return l;
    };
    auto button = [this](const char* name) {
        auto* b = new QPushButton(this);
        b->setObjectName(QLatin1String(name));
        return b;
    };
    Label1 = label("Label1");
    cmbRouter = new QComboBox(this);
    cmbRouter->setObjectName(QStringLiteral("cmbRouter"));
    cmbRouter->setEditable(false);
    cmbRouter->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cmbRouter->setMinimumContentsLength(12);
    BitBtn3 = button("BitBtn3");
    // A link, not a push button: flat, blue, underlined.
    BitBtn3->setFlat(true);
    BitBtn3->setCursor(Qt::PointingHandCursor);
    BitBtn3->setStyleSheet(QStringLiteral(
        "QPushButton { color: #0000ee; border: none; background: transparent; text-decoration: underline; padding: 2px; }"
        "QPushButton:disabled { color: #8080a0; }"));
    Label2 = label("Label2");
    edtUser = new QLineEdit(this);
    edtUser->setObjectName(QStringLiteral("edtUser"));
    edtUser->setText(QStringLiteral("admin"));
    Label3 = label("Label3");
    edtPassword = new QLineEdit(this);
    edtPassword->setObjectName(QStringLiteral("edtPassword"));
    edtPassword->setEchoMode(QLineEdit::Password);
    BitBtn1 = button("BitBtn1");
    BitBtn1->setDefault(true);
    BitBtn2 = button("BitBtn2");
    Label1->setText(QStringLiteral("Router brand:"));
    BitBtn3->setText(QStringLiteral("&New Version"));
    Label2->setText(QStringLiteral("User Name:"));
    Label3->setText(QStringLiteral("Password:"));
    BitBtn1->setText(QStringLiteral("&OK"));
    BitBtn2->setText(QStringLiteral("&Cancel"));
    Label1->setBuddy(cmbRouter);
    Label2->setBuddy(edtUser);
    Label3->setBuddy(edtPassword);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(14);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(cmbRouter, 0, 1);
    grid->addWidget(BitBtn3, 0, 2);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(edtUser, 1, 1, 1, 2);
    grid->addWidget(Label3, 2, 0);
    grid->addWidget(edtPassword, 2, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(20, 24, 20, 16);
    top->addLayout(grid);
    top->addStretch(1);
    top->addLayout(buttons);
    // Never smaller than the texts of the current language need.
    top->setSizeConstraint(QLayout::SetMinimumSize);

    ApplyLanguage(this);
    resize(365, 256);

    connect(BitBtn1, &QPushButton::clicked, this, &TfrmPortForward::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TfrmPortForward::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TfrmPortForward::BitBtn3Click);
    // A long model name is cut in the closed drop-down; its hint shows it whole.
    connect(cmbRouter, &QComboBox::currentTextChanged, cmbRouter, &QComboBox::setToolTip);

    urls_ = TPlugInUrls::FromConfig(setup_.ConfigPath);
    map_.DualPort = false;
    // A list already there is read now; a missing one is downloaded once the dialog shows, so
    // that the wait happens in a painted window with a working Cancel.
    const QString list = setup_.Find(QStringLiteral("Router.ini"));
    if (QFileInfo(list).isFile()) {
        routerListTried_ = true;
        LoadRouterList(list);
    }
    if (parent)
        move(parent->window()->geometry().center() - rect().center());
}

TfrmPortForward::~TfrmPortForward() = default;

bool TfrmPortForward::AddMapping(const QString& cameraAddress, const QString& port, const QString& protocol) {
    return map_.AddMapping(cameraAddress, port, protocol);
}

QString TfrmPortForward::MessageKeyOfCode(int code) {
    switch (code) {
    case 0: return QString();
    case 1: return QStringLiteral("IDS_INVALID_USER");
    case 2: return QStringLiteral("IDS_SELECT_ROUTER");
    case 3: return QStringLiteral("IDS_GETDATA_ERROR");
    case 4: return QStringLiteral("IDS_DATA_ERROR");
    case 6: return QStringLiteral("IDS_PROGRAM_ERROR");
    case 7: return QStringLiteral("IDS_PARAMETER_ERROR");
    default: return QStringLiteral("IDS_GETROUTER_ERROR");  // 5 and 8 to 255
    }
}

const TRouter* TfrmPortForward::SelectedRouter() const {
    const int i = cmbRouter->currentIndex();
    return i >= 0 && i < routers_.size() ? &routers_[i] : nullptr;
}

QString TfrmPortForward::PlugInPath(const TRouter& r) const { return setup_.Find(r.PlugInFile); }

void TfrmPortForward::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!routerListTried_)
        QTimer::singleShot(0, this, &TfrmPortForward::EnsureRouterList);
}

void TfrmPortForward::EnsureRouterList() {
    if (routerListTried_)
        return;
    routerListTried_ = true;
    BusyCursor cursor;
    // Neither folder has a list: it is downloaded into the user's folder.
    const QString path = setup_.Find(QStringLiteral("Router.ini"));
    if (!QFileInfo(path).isFile()) {
        TTools::ForceDirs(setup_.WritableDir());
        const QString url = urls_.RouterListUrl;
        if (!RunBusy([&] { DownloadFile(url, path, &cancel_); })) {
            CloseIfCancelled();
            return;
        }
    }
    if (!QFileInfo(path).isFile()) {
        cursor.restore();
        MessageBoxText(GetResString(QStringLiteral("IDS_READROUTER_ERROR")), QGuiApplication::applicationDisplayName(),
                       MB::ICONERROR);
        return;
    }
    LoadRouterList(path);
}

void TfrmPortForward::LoadRouterList(const QString& path) {
    routers_ = ::LoadRouterList(path, CurLang());
    cmbRouter->clear();
    for (const TRouter& r : routers_)
        cmbRouter->addItem(r.DisplayName);
    if (cmbRouter->count() > 0)
        cmbRouter->setCurrentIndex(0);
}

bool TfrmPortForward::RunBusy(const std::function<void()>& work) {
    busy_ = true;
    cancel_ = false;
    QList<QWidget*> controls{cmbRouter, BitBtn3, edtUser, edtPassword, BitBtn1};
    QList<bool> wasEnabled;
    for (QWidget* w : controls) {
        wasEnabled.append(w->isEnabled());
        w->setEnabled(false);
    }
    QEventLoop loop;
    QThread* worker = QThread::create(work);
    connect(worker, &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    emit busyStarted();
    if (!worker->isFinished())
        loop.exec();
    // The work holds references into the caller's frame: it must be over before we return.
    // A cancelled call ends within a few tens of milliseconds.
    worker->wait();
    delete worker;
    for (qsizetype i = 0; i < controls.size(); ++i)
        controls[i]->setEnabled(wasEnabled[i]);
    busy_ = false;
    return !cancel_.load();
}

void TfrmPortForward::reject() {
    if (busy_) {
        // End the running call first; the click handler that waits on it closes the dialog.
        closeRequested_ = true;
        cancel_ = true;
        return;
    }
    QDialog::reject();
}

void TfrmPortForward::CloseIfCancelled() {
    if (!closeRequested_)
        return;
    closeRequested_ = false;
    QDialog::reject();
}

void TfrmPortForward::ShowCodeMessage(int code) {
    ResMessageBox(MessageKeyOfCode(code), kError, MB::ICONERROR);
}

void TfrmPortForward::BitBtn1Click() {
    SetMapping();
    CloseIfCancelled();
}

void TfrmPortForward::BitBtn2Click() { reject(); }

void TfrmPortForward::BitBtn3Click() {
    CheckNewVersion();
    CloseIfCancelled();
}

void TfrmPortForward::SetMapping() {
    const TRouter* selected = SelectedRouter();
    if (!selected) {
        ResMessageBox(QStringLiteral("IDS_SELECTROUTER_ERROR"), kError, MB::ICONERROR);
        cmbRouter->setFocus();
        return;
    }
    const QString user = edtUser->text().trimmed();
    if (user.isEmpty()) {
        ResMessageBox(QStringLiteral("IDS_NOUSER"), kError, MB::ICONERROR);
        edtUser->setFocus();
        return;
    }
    BusyCursor cursor;
    const QString plugIn = PlugInPath(*selected);
    if (!QFileInfo(plugIn).isFile()) {
        cursor.restore();
        ResMessageBox(QStringLiteral("IDS_DLL_NOTFOUND"), kError, MB::ICONERROR);
        return;
    }
    if (map_.dsNeed.ShownCount() == 0) {
        cursor.restore();
        ResMessageBox(QStringLiteral("IDS_SELECTPORT_ERROR"), kError, MB::ICONERROR);
        return;
    }
    const QString router = RouterIP.trimmed();
    const QString password = edtPassword->text().trimmed();
    TPlugInCallOptions options;
    options.timeoutMs = PlugInTimeoutMs;
    options.cancel = &cancel_;
    options.hostPath = setup_.PlugInHost;

    QByteArray reply;
    int code = PlugInCode::ProgramError;
    if (!RunBusy([&] { code = CallPlugIn(plugIn, QStringLiteral("GetPortForward"), router, user, password, reply, options); }))
        return;
    if (code != PlugInCode::Ok) {
        cursor.restore();
        ShowCodeMessage(code);
        return;
    }
    if (!map_.ParseRouterXml(reply)) {
        cursor.restore();
        ResMessageBox(QStringLiteral("IDS_GETROUTER_ERROR"), kError, MB::ICONERROR);
        return;
    }
    if (map_.FindConflicts()) {
        cursor.restore();
        if (ResMessageBox(QStringLiteral("IDS_PORT_USING"), kError, MB::YESNO | MB::ICONQUESTION) != MB::IDYES)
            return;
        map_.ReplaceConflicts();
    }
    map_.MergeNeeded();
    QByteArray table = map_.BuildRouterXml();
    if (table.isEmpty()) {
        cursor.restore();
        ResMessageBox(QStringLiteral("IDS_CREATEXML_ERROR"), kError, MB::ICONERROR);
        return;
    }
    const QByteArray sent = table;
    if (!RunBusy([&] { code = CallPlugIn(plugIn, QStringLiteral("SetPortForward"), router, user, password, table, options); }))
        return;
    cursor.restore();
    if (code != PlugInCode::Ok) {
        ShowCodeMessage(code);
        return;
    }
    if (TPortMapping::VerifyResult(sent, table)) {
        ResMessageBox(QStringLiteral("IDS_PORTFORWARD_OK"), kInformation, MB::ICONINFORMATION);
        accept();
        return;
    }
    ResMessageBox(QStringLiteral("IDS_PORTFORWART_ERR"), kError, MB::ICONERROR);
}

void TfrmPortForward::CheckNewVersion() {
    const TRouter* selected = SelectedRouter();
    if (!selected) {
        ResMessageBox(QStringLiteral("IDS_SELECTROUTER_ERROR"), kError, MB::ICONERROR);
        cmbRouter->setFocus();
        return;
    }
    const TRouter router = *selected;
    BusyCursor cursor;
    BitBtn3->setEnabled(false);
    // Enabled again however this ends.
    struct Reenable {
        QPushButton* b;
        ~Reenable() { b->setEnabled(true); }
    } reenable{BitBtn3};

    TTools::ForceDirs(setup_.WritableDir());
    // The plug-in in use (the user's or the carried one) is the one whose version counts; a
    // newer one always goes into the user's folder, where it is found first from then on.
    const QString plugIn = PlugInPath(router);
    const QString target = FindNoCase(setup_.WritableDir(), router.PlugInFile);
    const QString listUrl = urls_.RouterListUrl;
    const QString dir = setup_.WritableDir();
    TPlugInCallOptions options;
    options.timeoutMs = PlugInTimeoutMs;
    options.cancel = &cancel_;
    options.hostPath = setup_.PlugInHost;
    QString remote, installed;
    bool exists = false;
    if (!RunBusy([&] {
            remote = RemoteVersion(router.Number, listUrl, dir, &cancel_);
            exists = QFileInfo(plugIn).isFile();
            if (exists)
                installed = PlugInVersion(plugIn, options);
        }))
        return;
    cursor.restore();
    if (!NewerPlugInAvailable(exists, installed, remote)) {
        ResMessageBox(QStringLiteral("IDS_NO_NEWVERSION"), kInformation, MB::ICONWARNING);
        return;
    }
    if (ResMessageBox(QStringLiteral("IDS_DOWNLOAD_INFO"), kInformation, MB::YESNO | MB::ICONQUESTION) != MB::IDYES)
        return;
    const QString url = urls_.PlugInBaseUrl + router.PlugInFile;
    bool ok = false;
    {
        BusyCursor downloading;
        if (!RunBusy([&] { ok = DownloadFile(url, target, &cancel_); }))
            return;
    }
    if (ok) {
        // The version is noted in a list of the user's own. The carried list is never written,
        // nor copied for the note: a copy would hide the lists of later installations.
        const QString list = setup_.Find(QStringLiteral("Router.ini"));
        if (setup_.IsWritable(list) && QFileInfo(list).isFile())
            WriteRouterIniValue(list, QStringLiteral("Version") + QString::number(router.Number), remote);
        return;
    }
    ResMessageBox(QStringLiteral("IDS_DOWNLOAD_DLL_ERROR"), kError, MB::ICONERROR);
}
