// placeholder: the command-line step is still to be written
#include "library/MainWindow.h"

void MainWindow::RunCommandLineAction() {}
