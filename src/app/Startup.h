#pragma once

class QWidget;

// "Z/O/L Portal v1.0", then a blank and the extra text when it is not null.
void SetProgramTitle(QWidget *window, const char *extra);

// The whole program run; returns the process exit code.
int RunPortal(int &argc, char **argv);
