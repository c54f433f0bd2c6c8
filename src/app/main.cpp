#include "MainForm.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TfrmMain main;
    if (!main.StartedOk())
        return 0;
    main.show();
    return app.exec();
}
