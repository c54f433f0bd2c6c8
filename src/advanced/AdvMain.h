#pragma once
// The advanced window: this PC's adapters, the table of cameras found on the LAN, and an editor
// of the selected camera's network settings with the buttons that act on it (apply, one-key
// set, open and check the inner and outer addresses, port mapping, firmware upgrade). Created
// at start-up and alive for the whole run, it owns the search that every page relies on.

#include "CameraFamily.h"
#include "NetCards.h"
#include "PageBase.h"

#include <functional>
#include <memory>
#include <optional>

class DiscoveryEngine;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class TDeviceList;
class TfrmAuthInput;
class TfrmPortForward;
class TIPEdit;
class TListView;
class TPanel;
class TSaveDialog;
class TSpeedButton;
class TTabSheet;
class TTeGroupBox;
struct TFamilyTraits;

// What the firmware upgrade dialog is opened with.
struct TUpgradeRequest {
    qint32 Family = 0;
    QString IP;
    qint32 Port = 0;
    QString User;
    QString Password;
    std::optional<TDevInfo> Record = {};  // the camera's row as listed
};

class TfrmAdv_Main : public TfrmPageBase {
    Q_OBJECT
public:
    explicit TfrmAdv_Main(IPageHost* host);
    ~TfrmAdv_Main() override;

    DiscoveryEngine& Engine() { return *engine_; }
    TDeviceList& Devices();
    const TNetCardList& NetCards() const { return cards_; }

    // Left: this PC.
    TTeGroupBox* TeGroupBox1;
    QLabel* lblCard;
    QComboBox* cmbCards;
    QLabel* Label1;
    QLineEdit* edCurIP;
    QLabel* Label7;
    QLineEdit* edCurSubmask;
    QLabel* Label9;
    QLineEdit* edCurGate;

    // Left: the cameras.
    TTeGroupBox* TeGroupBox2;
    TListView* ListView;
    TPanel* plInfo;
    QLabel* lblDevNum;
    QPushButton* btnFind;
    TSpeedButton* spbExport;
    TSaveDialog* SaveDialog1;

    // Right: the selected camera.
    TTeGroupBox* TeGroupBox3;
    QTabWidget* PageControl;
    TTabSheet* tabBase;
    QLabel* Label3;
    QLineEdit* edName;
    QLabel* Label8;
    QSpinBox* edPort;
    QLabel* lblDataPort;
    QSpinBox* edDataPort;
    QLabel* Label4;
    QComboBox* cmbIPAss;
    QLabel* lblIP;
    TIPEdit* edIP;
    QLabel* lblSubmask;
    TIPEdit* edSubMask;
    QLabel* lblGateway;
    TIPEdit* edGateway;
    QLabel* Label5;
    QLineEdit* edUrl;
    TSpeedButton* spbOpen;
    QLabel* Label6;
    QLineEdit* edOuterUrl;
    TSpeedButton* spbCheckOuterUrl;
    TSpeedButton* spbOpenOuterUrl;
    QPushButton* btnFill;
    QPushButton* BtnPortMap;
    QPushButton* btnApply;
    TTabSheet* tabOther;
    QLabel* Label11;
    QLineEdit* edVersion;
    QLabel* lblPreMac;
    QLineEdit* lblMac;
    QLabel* Label2;
    QLineEdit* edDDnsPwd;
    QPushButton* btnUpgrade;
    // The template of the address modes (hidden): values 0, 1, 2, texts from the language.
    QComboBox* cmbIPAssBak;

    // Sends new network settings to a camera of any family, for easy mode: the credentials of
    // the current camera are used, or asked for when the camera refuses them (see LoginFor).
    // True when the command went out (or, for a family that waits for the camera's answer,
    // when the camera accepted it).
    bool ApplyNetSettings(const TDevInfo& oldRec, const TDevInfo& newRec, bool askLogin);

    // Tests hook the dialogs before they would be shown modally.
    // The login dialog: return false to cancel it.
    using LoginPrompt = std::function<bool(TfrmAuthInput&)>;
    void SetLoginPrompt(LoginPrompt prompt) { loginPrompt_ = std::move(prompt); }
    // The port-mapping dialog, set up with the router and the mappings: returns its result.
    using PortMapPrompt = std::function<int(TfrmPortForward&)>;
    void SetPortMapPrompt(PortMapPrompt prompt) { portMapPrompt_ = std::move(prompt); }
    // Opens the firmware upgrade dialog modally; true when it ended with success. The window
    // opens TfrmUpgradeSoft; without a dialog (nullptr) the upgrade button stays hidden.
    using UpgradeDialog = std::function<bool(const TUpgradeRequest&)>;
    void SetUpgradeDialog(UpgradeDialog dialog);
    // Whether something answers at an address (another device on the LAN); blocking, run off
    // the user-interface thread. The default (also after setting none) asks the address probe.
    using AddressProber = std::function<bool(const QString& address)>;
    void SetAddressProber(AddressProber prober);

    // The editor.
    // Fills the editor from the selected row (and empties it without one).
    void RefreshDetails();
    // Rebuilds the outer address after only the DDNS values of the record shown changed.
    void RebuildOuterUrl(const TDevInfo& rec);
    // Validates the editor and copies it into rec; false (with a message) when the port is
    // missing.
    bool ReadEditor(TDevInfo& rec);
    bool Refreshing() const { return refreshing_; }
    // The MAC of the camera the editor shows; empty when it shows none.
    const QString& ShownMac() const { return shown_.Mac; }

    // The buttons.
    void cmbCardsChange();
    void cmbIPAssChange();
    void btnFindClick();
    void btnApplyClick();
    void btnFillClick();
    void spbOpenClick();
    void spbOpenOuterUrlClick();
    void spbCheckOuterUrlClick();
    void BtnPortMapClick();
    void btnUpgradeClick();
    void ListViewDblClick();
    // Asks for a file and writes the list; cancel does nothing.
    void spbExportClick();
    // Writes the export file; an unwritable file is reported to the user.
    bool ExportTo(const QString& path);

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void BuildLeft();
    void BuildRight();
    void OnDeviceCountChanged(int count);
    void OnSelectionChanged();
    void OnDetailsChanged();
    void OnDdnsChanged(const QString& mac);
    void SelectFirstRowIfNone();
    void UpdateExportEnabled();
    void UpdateFillEnabled();
    void EditorChanged();
    void SyncAddressModeTexts();
    // The selected row's record (owned by the list: use it at once), or null.
    TDevInfo* SelectedRecord();
    const TFamilyTraits& TraitsOf(qint32 family) const;
    // "http://" + DdnsUser + the domain of the DDNS server (the configured one when the
    // server names none); empty without both values.
    QString OuterUrlOf(const TDevInfo& rec) const;
    void SetOuterUrl(const QString& url);
    // Another listed camera, or a device that answers, at the address newRec is to take:
    // the user may go on (true) or go back (false).
    bool ConfirmAddressFree(const TDevInfo& oldRec, const TDevInfo& newRec);
    bool InPcSubnet(const QString& address) const;
    // The login dialog of Apply and of the upgrade, shown modally; false on Cancel.
    bool AskLogin(qint32 family, const QString& passwordPreset, TLogin& login);
    // Drops the camera's row after a settings change or upgrade, and searches anew.
    void DropAndFind(const QString& mac);

    // The login procedure: tests the stored credentials and asks only when they are refused;
    // false when the user cancels. user and password receive the credentials to send.
    bool LoginFor(const TDevInfo& oldRec, bool checkCredentials, QString& user, QString& password);

    LoginPrompt loginPrompt_;
    PortMapPrompt portMapPrompt_;
    UpgradeDialog upgradeDialog_;
    AddressProber prober_;
    DiscoveryEngine* engine_;
    TNetCardList cards_;
    bool refreshing_ = false;
    // The record the editor was filled from (a copy), and whether it has an outer address.
    TDevInfo shown_;
    bool hasShown_ = false;
    qint32 upgradeFamily_ = 0;
};
