#pragma once
// The dialog of step 6 that changes a camera's DDNS account, password and server, for a family
// whose settings can be changed (ICameraDdns::Change). OK sends them and closes only when the
// camera took them.

#include "CameraFamily.h"
#include "DevInfo.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class TFamilyRegistry;
class TImage;
class TPanel;

class TfrmEsy_SetDDNS : public QDialog {
    Q_OBJECT
public:
    // families must outlive the dialog.
    TfrmEsy_SetDDNS(TFamilyRegistry& families, QWidget* parent = nullptr);

    // The camera (its LAN address and family) and the login that goes with the request.
    void SetCamera(const TDevInfo& cam, const TLogin& login);
    QString LanUrl() const { return InnerUrl(cam_); }
    int Family() const { return cam_.Family; }

    QLabel* lblID;
    QLineEdit* edID;
    QLabel* lblPwdDDNS;
    QLineEdit* edPwd;
    QLabel* Label1;
    QLineEdit* edServer;
    TPanel* Panel1;
    TImage* Image1;
    QLabel* Label4;
    QPushButton* btnOK;
    QPushButton* btnCancel;

    void btnOKClick();

private:
    TFamilyRegistry& families_;
    TDevInfo cam_;
    TLogin login_;
};
