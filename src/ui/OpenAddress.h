#pragma once
// Opening an address with the desktop's default handler: the inner and outer addresses of the
// advanced window and the wizard, the links of the main window.

#include <QString>
#include <functional>

// Opens address with the desktop's default handler (never through a shell). Tests replace it.
using AddressOpener = std::function<void(const QString& address)>;
void SetAddressOpener(AddressOpener opener);
void OpenAddress(const QString& address);
