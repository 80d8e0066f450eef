#include "app/AppState.h"

AppState app;
