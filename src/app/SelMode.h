#pragma once
// The welcome page: language choice and the way into easy mode.

#include "PageBase.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class TImage;
class TTeButton;
class TTeLabel;

class TfrmSel_Mode : public TfrmPageBase {
    Q_OBJECT
public:
    explicit TfrmSel_Mode(IPageHost* host);

    QLabel* Label5;
    TTeLabel* TeLabel2;
    QLabel* Label3;
    TImage* Image1;
    QLabel* lblLan;
    QComboBox* cmbLan;
    QPushButton* btnEasy;
    TTeButton* TeButton1;
    QCheckBox* chkAdvMode;
    QLabel* Label4;

    void FillLanguages();
    void cmbLanChange();
    void chkAdvModeClick();
    void btnEasyClick();
};
