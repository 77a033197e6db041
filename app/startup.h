#pragma once

#include "ui/main_window.h"

// Every event of the main window bound to its handler.
ui::WindowEvents MainWindowEvents();

// Prepares the process and opens the main window; the event loop runs after it
// returns. The QApplication is made here, after the process has been bound to its
// processor, and lives until the process ends. Returns 0.
int StartUp(int& argc, char** argv);
