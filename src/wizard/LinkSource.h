#pragma once
// Steps 1 and 2: how to connect the camera to power and to the network, each with a picture of
// the wiring, a picture of the lights to expect, and a help link.

#include "WizardPage.h"

class QLabel;
class TImage;
class TPanel;

class TfrmLinkSource : public TWizardPage {
    Q_OBJECT
public:
    explicit TfrmLinkSource(IPageHost* host);
    bool Back() override;
    bool Next() override;

    QLabel* Label2;
    TPanel* Panel3;
    TImage* Image1;
    QLabel* lblIPcam1;
    QLabel* lblRouter1;
    QLabel* Label3;
    QLabel* lblPC1;
    TPanel* Panel2;
    TImage* Image2;
    QLabel* Label1;
    TImage* Image3;
    QLabel* Label4;

    void Label4Click();
};

class TfrmEsy_Line : public TWizardPage {
    Q_OBJECT
public:
    explicit TfrmEsy_Line(IPageHost* host);
    bool Back() override;
    bool Next() override;

    QLabel* Label2;
    TPanel* Panel3;
    TImage* Image1;
    QLabel* lblRouter1;
    QLabel* lblIPcam1;
    QLabel* lblPC1;
    TPanel* Panel2;
    TImage* Image2;
    QLabel* Label1;
    TImage* Image3;
    QLabel* Label3;

    void Label3Click();
};
