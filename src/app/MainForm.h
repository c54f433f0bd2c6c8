#pragma once
// The main window: a title bar, one page at a time in the middle, four links at the bottom.

#include <QHash>
#include <QStringList>
#include <QWidget>
#include <memory>

#include "Clock.h"
#include "CurrentCamera.h"
#include "OptionFile.h"
#include "PageBase.h"

class QLabel;
class TClickLabel;
class TFamilyRegistry;
class TImage;
class TInstanceGuard;
class TPanel;
class TfrmStrRes;

class TfrmMain : public QWidget, public IPageHost {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 652;
    static constexpr int kClientHeight = 493;

    // Runs the whole start-up. When another instance is running, StartedOk() is false and the
    // window must not be shown.
    explicit TfrmMain(const QString& configPath = TConfig::DefaultPath());
    ~TfrmMain() override;

    bool StartedOk() const { return startedOk_; }

    // Shows the page of that class (case-insensitive), creating it on first use. A name
    // outside the catalogue shows nothing.
    void ShowPage(const QString& className) override;
    TfrmPageBase* CurrentPage() const override;
    // The page of that class if it has been created.
    TfrmPageBase* Page(const QString& className) const override;
    void ReapplyLanguage() override;

    // Full paths of the usable language files, built at start-up.
    const QStringList& LangFiles() const override { return langFiles_; }
    const TConfig& Config() const override { return config_; }
    TFamilyRegistry& Families() override { return *families_; }
    TCurrentCamera& CurrentCamera() override { return currentCamera_; }
    QWidget* HostWindow() override { return this; }
    IClock& Clock() override { return *clock_; }
    void OpenAddress(const QString& address) override;
    void OpenOnlineCD() override { lblInsInfoClick(); }
    // Tests run the pages' timers on a clock of their own.
    void SetClock(std::unique_ptr<IClock> clock) { clock_ = std::move(clock); }
    int AdvLinkTag() const { return lblAdvTag_; }

    // Components, named as the language file names them.
    TPanel* Panel2;
    QLabel* lblCaption;
    TImage* Image1;
    TPanel* plContent;
    TPanel* Panel4;
    TClickLabel* lblInsInfo;
    TClickLabel* lblAdv;
    TClickLabel* lblAbout;
    TClickLabel* lblClose;
    TPanel* Panel3;

    void lblInsInfoClick();
    void lblAdvClick();
    void lblAboutClick();
    void lblCloseClick();

protected:
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void BuildComponents();
    void BuildLangFiles();
    bool SingleInstanceCheck(const QString& caption);
    void RaiseFromOtherStart();

    bool startedOk_ = false;
    int lblAdvTag_ = 1;
    TConfig config_;
    QStringList langFiles_;
    std::unique_ptr<TfrmStrRes> strRes_;
    std::unique_ptr<TFamilyRegistry> families_;
    TCurrentCamera currentCamera_;
    std::unique_ptr<IClock> clock_ = std::make_unique<TTimerClock>();
    TInstanceGuard* guard_ = nullptr;
    QHash<QString, TfrmPageBase*> pages_;  // lower-case class name -> page
};

// The address the Online CD link opens for a language: "_cn." becomes "_" + code + ".".
QString OnlineCdAddress(const QString& onlineCD, const QString& code);
