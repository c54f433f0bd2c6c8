#pragma once
// The advanced window: this PC's adapters and the table of cameras found on the LAN. Created
// at start-up and alive for the whole run, it owns the search that every page relies on.

#include "NetCards.h"
#include "PageBase.h"

#include <memory>

class DiscoveryEngine;
class TFind_Hisi;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TDeviceList;
class TListView;
class TPanel;
class TSaveDialog;
class TSpeedButton;
class TTeGroupBox;

class TfrmAdv_Main : public TfrmPageBase {
    Q_OBJECT
public:
    explicit TfrmAdv_Main(TfrmMain* owner);
    ~TfrmAdv_Main() override;

    DiscoveryEngine& Engine() { return *engine_; }
    // The outside library of family 4; not loaded when it is not installed.
    TFind_Hisi& Hisi() { return *hisi_; }
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
    void OnDeviceCountChanged(int count, const QString& text);
    void SelectFirstRowIfNone();
    void UpdateExportEnabled();

    DiscoveryEngine* engine_;
    std::unique_ptr<TFind_Hisi> hisi_;
    TNetCardList cards_;
};
