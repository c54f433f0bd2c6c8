#pragma once
// Asks for a camera's user name and password, and tests them against the camera in the way of
// its family, shown or not.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class TFamilyRegistry;

class TfrmAuthInput : public QDialog {
    Q_OBJECT
public:
    // families must outlive the dialog.
    explicit TfrmAuthInput(TFamilyRegistry& families, QWidget* parent = nullptr);

    // A family with a default-account hint of its own shows it in place of the usual tip.
    void SetFamily(int family);
    int Family() const { return family_; }
    bool CheckEnabled = false;
    // "http://" + IP + ":" + port
    QString DevUrl;

    // 0 accepted, -1 no connection to the camera, -2 refused or not testable. The test runs
    // off the user-interface thread; the window keeps painting meanwhile.
    int TestCredentials(const QString& user, const QString& password);

    QLabel* Label3;
    QLabel* Label1;
    QLineEdit* edUser;
    QLabel* Label2;
    QLineEdit* edPwd;
    QLabel* lblTip;
    QPushButton* btnOK;
    QPushButton* btnCancel;

    void btnOKClick();

private:
    TFamilyRegistry& families_;
    int family_ = 0;
};
