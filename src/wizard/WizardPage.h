#pragma once
// What the eight easy-mode pages share: the way to the advanced window's camera list and to
// the camera being set up, the back and next buttons, the white client panel, and modal
// dialogs run through one hook that tests replace.

#include "PageBase.h"

#include <QString>
#include <functional>
#include <optional>

class ICameraFamily;
class IClock;
class QBoxLayout;
class QDialog;
class QHBoxLayout;
class QLabel;
class QPushButton;
class TDeviceList;
class TPanel;
class TfrmAdv_Main;
struct TCurrentCamera;
struct TDevInfo;
struct TLogin;

// Runs a modal dialog and returns its result; the program calls exec().
using TModalRunner = std::function<int(QDialog& dialog)>;

class TSpeedButton;

class TWizardPage : public TfrmPageBase {
    Q_OBJECT
public:
    TWizardPage(IPageHost* host, const QString& formName);

    // Tests answer the page's dialogs (login, countdown, settings, information) themselves.
    void SetModalRunner(TModalRunner runner) { runner_ = std::move(runner); }
    int RunModal(QDialog& dialog);

    // The navigation row every page has (step 7 has no small next button).
    QPushButton* btnPre = nullptr;
    QPushButton* BtnJPre = nullptr;
    QPushButton* btnNext = nullptr;
    QPushButton* btnJNext = nullptr;
    // The white client area above the navigation row.
    TPanel* Panel1 = nullptr;

protected:
    // The page is shown or hidden by the page host (not when the window is minimised or
    // restored, which changes nothing of the page's work).
    virtual void FormShow() {}
    virtual void FormHide() {}
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

    // Builds Panel1 and the navigation row into this page; the page fills Panel1.
    void BuildFrame(bool smallNext = true);

    TfrmAdv_Main* Adv() const;
    TDeviceList& Devices() const;
    TCurrentCamera& Cur() const { return Host()->CurrentCamera(); }
    IClock& Clock() const { return Host()->Clock(); }
    // A copy of the current camera's record (by MAC, else by address), or none while it is
    // not listed. Copies only: the list may drop or replace the row at the next reply.
    std::optional<TDevInfo> CurrentDevice() const;
    ICameraFamily& FamilyOf(const TDevInfo& rec) const;
    TLogin CurrentLogin() const;

    // The modal countdown until the camera is listed again (WaitResult of TfrmCountdown).
    int WaitForRestart(int seconds, const QString& mac, const QString& ip, const QString& hint);
    // The information box with the text of a message key.
    void ShowHelp(const QString& key);

private:
    TModalRunner runner_;
};

// The small "Open" button beside an address field.
TSpeedButton* MakeOpenButton(QWidget* parent, const char* name);

// A label that works as a link: underlined, hand cursor, clicked signal.
QLabel* MakeLinkLabel(QWidget* parent, const QString& name, const QColor& color);
