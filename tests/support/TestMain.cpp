// GoogleTest entry of the suites: one application object for the whole run, as the program's
// own code expects (hand-overs to the user-interface thread need its event loop). Built in
// three variants: with widgets (IPCAM_TEST_WIDGETS), and with the refusal to run in the
// machine's own network namespace (IPCAM_TEST_PRIVATE_NETNS) for suites that can send beyond
// loopback.

#include "NetnsGuard.h"

#include <QNetworkProxy>
#include <gtest/gtest.h>

#ifdef IPCAM_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv)
{
#ifdef IPCAM_TEST_PRIVATE_NETNS
    netns_guard::RequirePrivateNetworkNamespace(argv[0]);
#endif
#ifdef IPCAM_TEST_WIDGETS
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    TestApplication app(argc, argv);
    // Everything here stays on loopback or inside the test's namespace.
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
