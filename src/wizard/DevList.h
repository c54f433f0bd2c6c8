#pragma once
// Step 3: the cameras the advanced window's search has found, of the families easy mode sets
// up; the user picks the one to set up.

#include "WizardPage.h"

#include <memory>

class QLabel;
class QPushButton;
class QStandardItemModel;
class TClockTimer;
class TImage;
class TListView;
class TPanel;

class TfrmEsy_DevList : public TWizardPage {
    Q_OBJECT
public:
    enum Column { ColNo = 0, ColSN, ColSeries, ColIP, ColPort, ColMac, ColumnCount };
    static constexpr int kRefreshMs = 500;

    explicit TfrmEsy_DevList(IPageHost* host);
    ~TfrmEsy_DevList() override;

    bool Back() override;
    // With a selected camera: it becomes the current camera and step 4 follows.
    bool Next() override;

    TListView* ListView1;
    QStandardItemModel* Rows;
    QPushButton* btnRefresh;
    TPanel* plInfo;
    TImage* Image1;
    QLabel* Label2;
    QLabel* Label1;

    // One refresh of the rows from the advanced window's list (nothing while hidden).
    void Refresh(bool fromTimer);
    void btnRefreshClick();
    void Label2Click();
    // The selected row, or -1.
    int SelectedRow() const;
    QString CellText(int row, int column) const;

protected:
    void FormShow() override;
    void FormHide() override;

private:
    std::unique_ptr<TClockTimer> timer1_;
};
