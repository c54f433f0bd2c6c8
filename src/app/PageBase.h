#pragma once
// The contract of every page of the main window.

#include <QWidget>

class TfrmMain;

class TfrmPageBase : public QWidget {
    Q_OBJECT
public:
    // formName is the section name without "Form_", e.g. "frmSel_Mode".
    TfrmPageBase(TfrmMain* owner, const QString& formName);

    virtual bool Back() { return true; }
    virtual bool Next() { return true; }
    virtual bool MayClose() { return true; }

    // The caption the main window shows above the page.
    QString Caption() const { return windowTitle(); }

protected:
    TfrmMain* Owner() const { return owner_; }

private:
    TfrmMain* owner_;
};
