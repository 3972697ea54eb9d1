#include "AppState.h"

AppState g_app;
