#include "app/run_state.h"
#include "app/startup.h"

#include <QApplication>

#include <cstdlib>

int main(int argc, char** argv) {
    InitGlobals();
    std::atexit(ExitCleanup);
    StartUp(argc, argv);
    return QApplication::exec();
}
