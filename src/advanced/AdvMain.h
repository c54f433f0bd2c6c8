#pragma once
// The advanced window: this PC's adapters and the table of cameras found on the LAN. Created
// at start-up and alive for the whole run, it owns the search that every page relies on.

#include "NetCards.h"
#include "PageBase.h"

#include <functional>
#include <memory>

class DiscoveryEngine;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TDeviceList;
class TfrmAuthInput;
struct TDevInfo;
class TListView;
class TPanel;
class TSaveDialog;
class TSpeedButton;
class TTeGroupBox;

class TfrmAdv_Main : public TfrmPageBase {
    Q_OBJECT
public:
    explicit TfrmAdv_Main(IPageHost* host);
    ~TfrmAdv_Main() override;

    DiscoveryEngine& Engine() { return *engine_; }
    TDeviceList& Devices();
    const TNetCardList& NetCards() const { return cards_; }

    TTeGroupBox* TeGroupBox1;
    QLabel* lblCard;
    QComboBox* cmbCards;
    QLabel* Label1;
    QLineEdit* edCurIP;
    QLabel* Label7;
    QLineEdit* edCurSubmask;
    QLabel* Label9;
    QLineEdit* edCurGate;

    TTeGroupBox* TeGroupBox2;
    TListView* ListView;
    TPanel* plInfo;
    QLabel* lblDevNum;
    QPushButton* btnFind;
    TSpeedButton* spbExport;
    TSaveDialog* SaveDialog1;

    // Sends new network settings to a camera of any family, for easy mode: the credentials of
    // the current camera are used, or asked for when the camera refuses them (see LoginFor).
    // True when the command went out (or, for a family that waits for the camera's answer,
    // when the camera accepted it).
    bool ApplyNetSettings(const TDevInfo& oldRec, const TDevInfo& newRec, bool askLogin);
    // Tests hook the login dialog before it would be shown: return false to cancel it.
    using LoginPrompt = std::function<bool(TfrmAuthInput&)>;
    void SetLoginPrompt(LoginPrompt prompt) { loginPrompt_ = std::move(prompt); }

    void cmbCardsChange();
    void btnFindClick();
    // Asks for a file and writes the list; cancel does nothing.
    void spbExportClick();
    // Writes the export file; an unwritable file is reported to the user.
    bool ExportTo(const QString& path);

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void OnDeviceCountChanged(int count);
    void SelectFirstRowIfNone();
    void UpdateExportEnabled();

    // The login procedure: tests the stored credentials and asks only when they are refused;
    // false when the user cancels. user and password receive the credentials to send.
    bool LoginFor(const TDevInfo& oldRec, bool checkCredentials, QString& user, QString& password);

    LoginPrompt loginPrompt_;
    DiscoveryEngine* engine_;
    TNetCardList cards_;
};
