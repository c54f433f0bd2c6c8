#pragma once
// The router port-mapping dialog: asks the router's plug-in for its table, merges the wanted
// mappings into it, hands the table back and checks the plug-in's answer. Callers set RouterIP,
// call AddMapping once or twice and show it modally: Accepted when the mapping was set.
//
// Plug-in calls and downloads run on a worker thread. Meanwhile the dialog keeps painting with
// a busy cursor and every control but Cancel disabled; Cancel (or closing the window) ends the
// running call and closes the dialog.

#include "PlugInCall.h"
#include "PortMapping.h"
#include "RouterList.h"

#include <QDialog>
#include <QList>
#include <atomic>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TfrmPortForward : public QDialog {
    Q_OBJECT
public:
    explicit TfrmPortForward(QWidget* parent = nullptr, const TPortMapSetup& setup = TPortMapSetup::Default());
    ~TfrmPortForward() override;

    // The router's address (the PC's gateway).
    QString RouterIP;
    // A wanted mapping: camera address, port text, protocol ("TCP"). False when the port is no
    // port or the mapping is wanted already.
    bool AddMapping(const QString& cameraAddress, const QString& port, const QString& protocol);

    // Loads Router.ini, downloading it first when it is missing. Runs once, when the dialog is
    // first shown; callable earlier (tests do).
    void EnsureRouterList();

    // The message key of a plug-in's result code; empty for 0.
    static QString MessageKeyOfCode(int code);

    TPortMapping& Tables() { return map_; }
    const TPlugInUrls& Urls() const { return urls_; }
    const TRouter* SelectedRouter() const;
    bool Busy() const { return busy_; }
    // Time limit of one plug-in call.
    int PlugInTimeoutMs = kPlugInTimeoutMs;

    QLabel* Label1;
    QComboBox* cmbRouter;
    QPushButton* BitBtn3;
    QLabel* Label2;
    QLineEdit* edtUser;
    QLabel* Label3;
    QLineEdit* edtPassword;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();

signals:
    // Emitted when a plug-in call or download starts on the worker thread (tests wait on it).
    void busyStarted();

protected:
    void showEvent(QShowEvent* e) override;
    void reject() override;

private:
    void LoadRouterList(const QString& path);
    void SetMapping();
    void CheckNewVersion();
    // Runs work on a worker thread while the dialog keeps painting; false when it was
    // cancelled (the dialog then closes as soon as the click handler has returned).
    bool RunBusy(const std::function<void()>& work);
    void ShowCodeMessage(int code);
    void CloseIfCancelled();
    QString PlugInPath(const TRouter& r) const;

    TPortMapSetup setup_;
    TPlugInUrls urls_;
    TPortMapping map_;
    QList<TRouter> routers_;
    bool routerListTried_ = false;
    bool busy_ = false;
    bool closeRequested_ = false;
    std::atomic<bool> cancel_{false};
};
