#include "MainForm.h"
#include "Platform.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QuitOnTerminationSignals();
    TfrmMain main;
    if (!main.StartedOk())
        return 0;
    main.show();
    return app.exec();
}
