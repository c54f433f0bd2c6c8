#pragma once
// The camera that easy mode is setting up, shared by the pages of one run: which camera it is
// (by MAC, else by address), the login that works for it, and how many cameras have been set
// up. One object, owned by the main window; nothing in the core reaches it by itself.

#include <QString>
#include <QtGlobal>

struct TDevInfo;
class TDeviceList;

struct TCurrentCamera {
    QString CurDevMac;
    QString CurDevIP;   // kept up to date after an address change
    QString CurDevUser;
    QString CurDevPwd;
    qint32 CurCamNo = 1;        // the camera being set up, counted from 1
    bool CurDevAuthOK = false;  // the login has been confirmed

    static constexpr const char* kFactoryUser = "admin";

    // The user picked rec, at row1Based of the list; factoryPassword is what its family
    // assumes until the user gives one.
    void Choose(const TDevInfo& rec, int row1Based, const QString& factoryPassword);
    // The camera's row, by MAC and else by address; null when it is not listed right now.
    // The record belongs to the list: use it at once, on the list's thread.
    TDevInfo* Find(TDeviceList& list) const;
    const TDevInfo* Find(const TDeviceList& list) const;
};
