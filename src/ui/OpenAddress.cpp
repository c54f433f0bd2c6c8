#include "OpenAddress.h"

#include <QDesktopServices>
#include <QUrl>

namespace {
AddressOpener& Opener() {
    static AddressOpener o;
    return o;
}
}  // namespace

void SetAddressOpener(AddressOpener opener) { Opener() = std::move(opener); }

void OpenAddress(const QString& address) {
    if (Opener()) {
        Opener()(address);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromUserInput(address));
}
