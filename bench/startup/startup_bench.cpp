// Start-up to the first shown main window, and the cost of a language switch.
//
//   startup_bench            in-process figures: first start, then repeated starts and switches
//   startup_bench --once     one start from process entry, for timing whole processes (hyperfine)
//
// Run it in a private network namespace (scripts/netns-run): the program's windows may search.
#include "LangForms.h"
#include "LangRes.h"
#include "MainForm.h"
#include "NetnsGuard.h"
#include "PageBase.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double StartOnce(QElapsedTimer& clock) {
    TfrmMain main;
    if (!main.StartedOk())
        return -1;
    main.show();
    (void)QTest::qWaitForWindowExposed(&main);
    return clock.nsecsElapsed() / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    QElapsedTimer sinceEntry;
    sinceEntry.start();
    // The main window starts the LAN search.
    netns_guard::RequirePrivateNetworkNamespace(argv[0]);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());  // never touch the user's choices
    QApplication app(argc, argv);
    SetMessageBoxHook([](const QString&, const QString&, int) { return MB::IDOK; });
    if (argc > 1 && QByteArray(argv[1]) == "--once") {
        const double ms = StartOnce(sinceEntry);
        std::printf("start-up to shown window: %.1f ms\n", ms);
        return ms < 0;
    }

    const double first = StartOnce(sinceEntry);
    std::vector<double> starts;
    for (int i = 0; i < 15; ++i) {
        QElapsedTimer t;
        t.start();
        starts.push_back(StartOnce(t));
    }

    TfrmMain main;
    main.show();
    (void)QTest::qWaitForWindowExposed(&main);
    const char* codes[] = {"cn", "b5", "pl", "kr", "en"};
    std::vector<double> switches, applyLargest;
    QWidget* largest = main.CurrentPage();
    for (int round = 0; round < 20; ++round)
        for (const char* code : codes) {
            QElapsedTimer t;
            t.start();
            SetLanguage(code);
            main.ReapplyLanguage();
            switches.push_back(t.nsecsElapsed() / 1e6);
            t.restart();
            ApplyLanguage(largest);
            applyLargest.push_back(t.nsecsElapsed() / 1e6);
        }
    std::printf("first start-up (process entry to shown window): %.1f ms\n", first);
    std::printf("repeated start-up, median of %zu:               %.1f ms\n", starts.size(), Median(starts));
    std::printf("language switch re-applying all pages, median: %.2f ms (max %.2f)\n", Median(switches),
                *std::max_element(switches.begin(), switches.end()));
    std::printf("ApplyLanguage on %s, median:              %.2f ms\n",
                largest->objectName().toUtf8().constData(), Median(applyLargest));
    return 0;
}
