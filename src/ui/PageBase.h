#pragma once
// The contract of every page of the main window, and what the main window offers its pages.

#include <QStringList>
#include <QWidget>

class IClock;
class TFamilyRegistry;
class TfrmPageBase;
struct TConfig;
struct TCurrentCamera;

// The main window as its pages see it.
class IPageHost {
public:
    virtual ~IPageHost() = default;
    // Shows the page of that class (case-insensitive), creating it on first use.
    virtual void ShowPage(const QString& className) = 0;
    virtual TfrmPageBase* CurrentPage() const = 0;
    // The page of that class if it has been created.
    virtual TfrmPageBase* Page(const QString& className) const = 0;
    // Puts the current language onto the main window and every page.
    virtual void ReapplyLanguage() = 0;
    // Full paths of the usable language files.
    virtual const QStringList& LangFiles() const = 0;
    virtual const TConfig& Config() const = 0;
    // The camera families of the run and the camera easy mode is setting up.
    virtual TFamilyRegistry& Families() = 0;
    virtual TCurrentCamera& CurrentCamera() = 0;
    // The window dialogs are centred on.
    virtual QWidget* HostWindow() = 0;
    // The time the pages' waits and countdowns run on.
    virtual IClock& Clock() = 0;
    // Opens an address with the desktop's default program (nothing for an empty one).
    virtual void OpenAddress(const QString& address) = 0;
    // Opens the Online CD link of Config.ini in the current language, as the bottom link does.
    virtual void OpenOnlineCD() = 0;
};

class TfrmPageBase : public QWidget {
    Q_OBJECT
public:
    // formName is the section name without "Form_", e.g. "frmSel_Mode".
    TfrmPageBase(IPageHost* host, const QString& formName);

    virtual bool Back() { return true; }
    virtual bool Next() { return true; }
    virtual bool MayClose() { return true; }

    // The caption the main window shows above the page.
    QString Caption() const { return windowTitle(); }

protected:
    IPageHost* Host() const { return host_; }

private:
    IPageHost* host_;
};
