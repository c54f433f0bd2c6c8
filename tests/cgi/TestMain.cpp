// The driver posts its hand-overs to the application's event loop; tests spin it with qWait.
#include <QCoreApplication>
#include <QNetworkProxy>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Everything here stays on loopback or inside the test's namespace.
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
