#pragma once
// Launching lives with the services, which the spreadsheet helpers share; windows include it
// from here as before.
#include "services/DesktopLaunch.h"
