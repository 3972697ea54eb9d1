#include "shell/AppState.h"

AppState g_app;
