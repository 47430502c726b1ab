#include "app/state.h"

HWND MainWindow = NULL;
