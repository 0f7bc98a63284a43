// placeholder: to be written
#include "app/Startup.h"
int RunPortal(int &, char **) { return 1; }
