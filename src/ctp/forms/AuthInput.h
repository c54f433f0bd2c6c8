#pragma once
// Asks for a camera's user name and password, and tests them against the camera in the way of
// its family, shown or not.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TfrmAuthInput : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAuthInput(QWidget* parent = nullptr);

    // Family 5 shows the default account of that family.
    void SetFamily(int family);
    int Family() const { return family_; }
    bool CheckEnabled = false;
    // "http://" + IP + ":" + port
    QString DevUrl;

    // 0 accepted, -1 no connection to a family-5 camera, -2 refused or not testable.
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
    int family_ = 0;
};
