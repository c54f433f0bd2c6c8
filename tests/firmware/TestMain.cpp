// The firmware suites run with an application object (QProcess, the language lookups) and the
// carried language files written into a folder of this run's own, so that the upload's
// messages are the English texts. The socket suites refuse the machine's own namespace.
#include "LangRes.h"

#ifdef FIRMWARE_SOCKET_TESTS
#include "NetnsGuard.h"
#endif

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
#ifdef FIRMWARE_SOCKET_TESTS
    netns_guard::RequirePrivateNetworkNamespace(argv[0]);
#endif
    QTemporaryDir temp;
    if (temp.isValid())
        qputenv("TMPDIR", temp.path().toLocal8Bit());
    QCoreApplication app(argc, argv);
    TfrmStrRes res;
    SetLanguage(QStringLiteral("en"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
