#include "model/Globals.h"

std::unique_ptr<clsWorkspace> gWorkspace;
std::unique_ptr<clsSources> gSources;
