#include "MainForm.h"

#include "AdvMain.h"
#include "BuiltInFamilies.h"
#include "Controls.h"
#include "CtpSocket.h"
#include "LangForms.h"
#include "LangRes.h"
#include "Look.h"
#include "PageBase.h"
#include "Platform.h"
#include "ChkDDNS.h"
#include "DevList.h"
#include "LinkSource.h"
#include "SelAccess.h"
#include "EsyPortForward.h"
#include "SetIP.h"
#include "SetWIFI.h"
#include "SelMode.h"
#include "Tools.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>

namespace {

using PageFactory = TfrmPageBase* (*)(TfrmMain*);

template <class Page>
TfrmPageBase* Make(TfrmMain* host) {
    return new Page(host);
}

// The page catalogue: class name -> factory. Pages of later steps join here.
const QHash<QString, PageFactory>& Catalogue() {
    static const QHash<QString, PageFactory> c = {
        {QStringLiteral("tfrmsel_mode"), &Make<TfrmSel_Mode>},
        {QStringLiteral("tfrmadv_main"), &Make<TfrmAdv_Main>},
        {QStringLiteral("tfrmlinksource"), &Make<TfrmLinkSource>},
        {QStringLiteral("tfrmesy_line"), &Make<TfrmEsy_Line>},
        {QStringLiteral("tfrmesy_devlist"), &Make<TfrmEsy_DevList>},
        {QStringLiteral("tfrmesy_setip"), &Make<TfrmEsy_SetIP>},
        {QStringLiteral("tfrmesy_setwifi"), &Make<TfrmEsy_SetWIFI>},
        {QStringLiteral("tfrmesy_chkddns"), &Make<TfrmEsy_ChkDDNS>},
        {QStringLiteral("tfrmesy_portforward"), &Make<TfrmEsy_PortForward>},
        {QStringLiteral("tfrmesy_selaccess"), &Make<TfrmEsy_SelAccess>},
    };
    return c;
}

void ReportLangFileError(const QString& path, const QString& error) {
    MessageBoxText(path + QStringLiteral("\n\n") + error, QStringLiteral("Error"), MB::ICONERROR);
}

void ReportOptionWriteError(const QString& path) {
    const QString title = GetResString(QStringLiteral("IDS_ERROR"));
    MessageBoxText(QStringLiteral("Cannot write the settings file\n%1").arg(path),
                   title.isEmpty() ? QStringLiteral("Error") : title, MB::ICONERROR);
}

TClickLabel* MakeLink(QWidget* parent, const QString& name) {
    auto* l = new TClickLabel(parent, name);
    QFont f = l->font();
    f.setUnderline(true);
    l->setFont(f);
    return l;
}

}  // namespace

QString OnlineCdAddress(const QString& onlineCD, const QString& code) {
    if (code == QLatin1String("cn"))
        return onlineCD;
    QString a = onlineCD;
    a.replace(QLatin1String("_cn."), QLatin1Char('_') + code.trimmed() + QLatin1Char('.'));
    return a;
}

TfrmMain::TfrmMain(const QString& configPath) : QWidget(nullptr) {
    SetFormName(this, QStringLiteral("frmMain"));
    BuildComponents();
    TOptionFile::SetWriteErrorReporter(&ReportOptionWriteError);

    config_ = TConfig::Read(configPath);
    strRes_ = std::make_unique<TfrmStrRes>(&ReportLangFileError);
    // The language: the option file, else the one of the locale's code page, else English.
    QString lan = TOptionFile().ReadString(QStringLiteral("Global"), QStringLiteral("lan"), QString());
    if (lan.isEmpty()) {
        lan = LangCodeForOemCodePage(OemCodePage());
        if (!QFileInfo::exists(LangFilePathFor(lan)))
            lan = QStringLiteral("en");
    }
    SetCurLang(lan);
    // The check needs the language: its message names the running window by its caption.
    const QString caption = GetLangString(QStringLiteral("Form_frmMain"), QStringLiteral("Caption"));
    if (!SingleInstanceCheck(caption)) {
        strRes_->KeepFiles();  // they belong to the running instance
        return;
    }
    ApplyLanguage(this);
    const QString skin = QApplication::applicationFilePath() + QStringLiteral(".mskn");
    if (QFileInfo::exists(skin))
        ApplySkinFile(skin);
    BuildLangFiles();
    QGuiApplication::setApplicationDisplayName(windowTitle());
    // The families before the advanced window, whose search asks them.
    families_ = MakeBuiltInFamilies(QApplication::applicationDirPath());
    // The advanced window first (it owns the search every page relies on), then the welcome page.
    ShowPage(QStringLiteral("TfrmAdv_Main"));
    ShowPage(QStringLiteral("TfrmSel_Mode"));
    if (auto* sel = qobject_cast<TfrmSel_Mode*>(Page(QStringLiteral("TfrmSel_Mode"))))
        if (sel->chkAdvMode->isChecked())
            ShowPage(QStringLiteral("TfrmAdv_Main"));
    startedOk_ = true;
}

TfrmMain::~TfrmMain() {
    // Pages go first: they may still look at language texts while being destroyed.
    qDeleteAll(pages_);
    pages_.clear();
    families_.reset();
    if (startedOk_)
        TCTPSocket::FreeCTPSessionPool();
    strRes_.reset();
}

void TfrmMain::BuildComponents() {
    setFixedSize(kClientWidth, kClientHeight);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    QFont base = font();
    base.setPointSize(8);
    setFont(base);

    Panel2 = new TPanel(this, QStringLiteral("Panel2"));
    Panel2->setAutoFillBackground(true);
    QPalette dark = Panel2->palette();
    dark.setColor(QPalette::Window, QColor(62, 62, 62));
    dark.setColor(QPalette::WindowText, Qt::white);
    Panel2->setPalette(dark);
    Panel2->setGeometry(0, 0, kClientWidth, 43);

    lblCaption = new QLabel(Panel2);
    lblCaption->setObjectName(QStringLiteral("lblCaption"));
    lblCaption->setGeometry(14, 0, 480, 43);
    lblCaption->setStyleSheet(QStringLiteral("color: white;"));
    QFont cf = lblCaption->font();
    cf.setBold(true);
    cf.setPointSize(12);
    lblCaption->setFont(cf);

    Image1 = new TImage(Panel2, QStringLiteral("Image1"));
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->setGeometry(kClientWidth - 150, 3, 140, 37);
    Image1->SetPicture(Picture(QStringLiteral("logo.png")));

    plContent = new TPanel(this, QStringLiteral("plContent"));
    plContent->setGeometry(0, 43, kClientWidth, kClientHeight - 43 - 31 - 23);

    Panel4 = new TPanel(this, QStringLiteral("Panel4"));
    Panel4->setGeometry(0, kClientHeight - 31 - 23, kClientWidth, 31);
    Panel4->setFrameShape(QFrame::NoFrame);
    lblInsInfo = MakeLink(Panel4, QStringLiteral("lblInsInfo"));
    lblAdv = MakeLink(Panel4, QStringLiteral("lblAdv"));
    lblAbout = MakeLink(Panel4, QStringLiteral("lblAbout"));
    lblClose = MakeLink(Panel4, QStringLiteral("lblClose"));
    auto* links = new QHBoxLayout(Panel4);
    links->setContentsMargins(16, 0, 16, 0);
    links->setSpacing(24);
    links->addWidget(lblInsInfo);
    links->addWidget(lblAdv);
    links->addWidget(lblAbout);
    links->addStretch(1);
    links->addWidget(lblClose);

    Panel3 = new TPanel(this, QStringLiteral("Panel3"));
    Panel3->setGeometry(0, kClientHeight - 23, kClientWidth, 23);
    Panel3->setFrameShape(QFrame::StyledPanel);

    connect(lblInsInfo, &TClickLabel::clicked, this, &TfrmMain::lblInsInfoClick);
    connect(lblAdv, &TClickLabel::clicked, this, &TfrmMain::lblAdvClick);
    connect(lblAbout, &TClickLabel::clicked, this, &TfrmMain::lblAboutClick);
    connect(lblClose, &TClickLabel::clicked, this, &TfrmMain::lblCloseClick);

    if (QScreen* s = QGuiApplication::primaryScreen()) {
        const QRect g = s->availableGeometry();
        move(g.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
    }
}

bool TfrmMain::SingleInstanceCheck(const QString& caption) {
    guard_ = new TInstanceGuard(QStringLiteral("Kestavo"), this);
    if (guard_->Acquire()) {
        connect(guard_, &TInstanceGuard::raiseRequested, this, &TfrmMain::RaiseFromOtherStart);
        return true;
    }
    QString text = GetResString(QStringLiteral("IDS_RUNNED"));
    text.replace(QLatin1String("%s"), caption);
    MessageBoxText(text, GetResString(QStringLiteral("IDS_WARNING")), MB::ICONWARNING);
    guard_->RaiseOther(caption);
    return false;  // the caller ends the program without showing anything
}

void TfrmMain::RaiseFromOtherStart() {
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void TfrmMain::BuildLangFiles() {
    langFiles_.clear();
    TTools::FindFiles(langFiles_, LangDir(), true, nullptr, false, QStringLiteral("*.l*"));
    const QString nameKey = QStringLiteral("Name_") + CurLang();
    // Every language file names all languages: one that lacks the current one is no language file.
    for (qsizetype i = langFiles_.size() - 1; i >= 0; --i) {
        const IniFile ini = OpenLangFile(langFiles_[i]);
        if (ini.ReadString(QStringLiteral("Global"), nameKey, QString()).isEmpty())
            langFiles_.removeAt(i);
    }
}

TfrmPageBase* TfrmMain::Page(const QString& className) const { return pages_.value(className.toLower()); }

TfrmPageBase* TfrmMain::CurrentPage() const {
    for (QObject* c : plContent->children())
        if (auto* p = qobject_cast<TfrmPageBase*>(c); p && !p->isHidden())
            return p;
    return nullptr;
}

void TfrmMain::ShowPage(const QString& className) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TfrmPageBase* previous = CurrentPage();
    const QString key = className.toLower();
    TfrmPageBase* page = pages_.value(key);
    if (!page) {
        const PageFactory make = Catalogue().value(key);
        if (make) {
            page = make(this);
            pages_.insert(key, page);
        }
    }
    if (page) {
        page->setParent(plContent, Qt::Widget);  // no frame of its own
        page->setGeometry(plContent->contentsRect());
        lblCaption->setText(page->Caption());
        page->show();
        if (previous && previous != page)
            previous->hide();
        if (key != QLatin1String("tfrmadv_main") && key != QLatin1String("tfrmsel_mode"))
            ApplyLanguage(this);
    }
    QApplication::restoreOverrideCursor();
}

void TfrmMain::ReapplyLanguage() {
    ApplyLanguage(this);
    QGuiApplication::setApplicationDisplayName(windowTitle());
    for (QObject* c : plContent->children())
        if (auto* p = qobject_cast<TfrmPageBase*>(c))
            ApplyLanguage(p);
    if (TfrmPageBase* p = CurrentPage())
        lblCaption->setText(p->Caption());
}

void TfrmMain::OpenAddress(const QString& address) {
    if (!address.isEmpty())
        ::OpenAddress(address);
}

void TfrmMain::lblInsInfoClick() {
    if (config_.OnlineCD.isEmpty())
        return;
    ::OpenAddress(OnlineCdAddress(config_.OnlineCD, CurLang()));
}

void TfrmMain::lblAboutClick() {
    if (!config_.About.isEmpty())
        ::OpenAddress(config_.About);
}

void TfrmMain::lblAdvClick() {
    if (lblAdvTag_ == 1) {
        ShowPage(QStringLiteral("TfrmAdv_Main"));
        lblAdv->setText(ForDisplay(GetResString(QStringLiteral("IDS_WZ"))));
        lblAdvTag_ = 2;
    } else {
        ShowPage(QStringLiteral("TfrmSel_Mode"));
        lblAdv->setText(ForDisplay(GetResString(QStringLiteral("IDS_AM"))));
        lblAdvTag_ = 1;
    }
}

void TfrmMain::lblCloseClick() {
    TfrmPageBase* p = CurrentPage();
    if (!p || p->MayClose())
        close();
}

void TfrmMain::closeEvent(QCloseEvent* e) {
    // Closing in the middle of changing a camera's address would leave the camera unreachable.
    if (TfrmPageBase* setIp = Page(QStringLiteral("TfrmEsy_SetIP")); setIp && setIp->property("Applying").toBool()) {
        e->ignore();
        return;
    }
    e->accept();
}

void TfrmMain::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (TfrmPageBase* p = CurrentPage())
        p->setGeometry(plContent->contentsRect());
}
