#include "CurrentCamera.h"

#include "DeviceList.h"

void TCurrentCamera::Choose(const TDevInfo& rec, int row1Based, const QString& factoryPassword)
{
    CurDevMac = rec.Mac;
    CurDevIP = rec.IP;
    CurDevUser = QString::fromLatin1(kFactoryUser);
    CurDevPwd = factoryPassword;
    CurCamNo = row1Based;
    CurDevAuthOK = false;
}

const TDevInfo* TCurrentCamera::Find(const TDeviceList& list) const
{
    int row = list.FindItemByMac(CurDevMac);
    if (row < 0)
        row = list.FindItemByIP(CurDevIP);
    return list.RecordAt(row);
}

TDevInfo* TCurrentCamera::Find(TDeviceList& list) const
{
    return const_cast<TDevInfo*>(Find(std::as_const(list)));
}
