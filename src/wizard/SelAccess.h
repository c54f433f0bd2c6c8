#pragma once
// Step 8: the ways to reach the camera just set up, in the LAN and from the Internet.

#include "WizardPage.h"

class QLabel;
class QLineEdit;
class TImage;
class TSpeedButton;

class TfrmEsy_SelAccess : public TWizardPage {
    Q_OBJECT
public:
    explicit TfrmEsy_SelAccess(IPageHost* host);

    bool Back() override;
    // "Set Other Camera": step 3 again, for the next camera.
    bool Next() override;

    QLabel* lblTitle;
    TImage* Image1;
    QLabel* lblLanUrl;
    QLineEdit* edLanUrl;
    TSpeedButton* spbOpenLanUrl;
    QLabel* lblOutUrl;
    QLineEdit* edOuterUrl;
    TSpeedButton* spbOutUrlOpen;
    TImage* imgArrow;
    QLabel* lblHowMob;

    void FormShow() override;
    void spbOpenLanUrlClick();
    void spbOutUrlOpenClick();
    void lblHowMobClick();
};
