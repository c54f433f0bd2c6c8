#pragma once
// Step 5: the wireless LAN of the camera. The networks the camera sees, its present settings,
// and on Apply the new settings, a restart, and the wait until the camera is found again (now
// over the wireless LAN). Each family is served by its ICameraWiFi; the page follows its rules.
// The camera is asked off the user-interface thread; the window keeps painting meanwhile.

#include "CameraCapabilities.h"
#include "WizardPage.h"

#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;

class TfrmEsy_SetWIFI : public TWizardPage {
    Q_OBJECT
public:
    explicit TfrmEsy_SetWIFI(IPageHost* host);

    bool Back() override;
    bool Next() override;

    QGroupBox* GroupBox1;
    QListWidget* lstWiFi;
    QPushButton* BitBtn1;
    QLabel* Label1;
    QCheckBox* chkUseWiFi;
    QLabel* Label2;
    QLineEdit* edtSSID;
    QLabel* lblShareKey;
    QLineEdit* edtShareKey;
    QLabel* Label4;
    QComboBox* cmbSecurity;
    QLabel* Label3;
    QComboBox* cmbMode;
    QLabel* lblAuthMode;
    QComboBox* cmbAuthMode;
    QLabel* lblHex;
    QComboBox* chkHex;
    QLabel* lblSelKey;
    QComboBox* cmbSelKey;
    QLabel* lblKey[4];
    QLineEdit* edtKey[4];
    QComboBox* cmbHex[4];
    QLabel* lblOK;
    QPushButton* BitBtn2;
    QPushButton* BitBtn3;

    // The index of the list entry the SSID came from (the tag of the SSID field).
    int SsidTag() const { return ssidTag_; }
    const std::vector<TWiFiNetwork>& Networks() const { return networks_; }
    const std::optional<TWiFiSettings>& CurWiFi() const { return curWiFi_; }

    void BitBtn1Click();
    void lstWiFiClick(int index);
    void BitBtn2Click();
    void BitBtn3Click();
    void chkUseWiFiClick();
    void Label1Click();
    void cmbSecurityChange();
    void cmbSelKeyChange();
    void edtShareKeyChange();

protected:
    void FormShow() override;
    void FormHide() override;

private:
    ICameraWiFi* WiFiOf(const TDevInfo& rec) const;
    // Reads the camera's settings into the page; false when none were shown.
    bool ReadSettings();
    void ClearSettings();
    TWiFiSettings SettingsFromPage() const;
    void RestartWait();
    void ShowKeyRow(int row, bool on);

    // The rules of the current camera's family.
    TWiFiPageRules rules_;
    int ssidTag_ = -1;
    std::vector<TWiFiNetwork> networks_;
    std::optional<TWiFiSettings> curWiFi_;
};
