#pragma once
// The current dashboard and the source registry: exactly one of each at a time. The main
// window creates and replaces them; the model only reads them.

#include "model/clsSources.h"
#include "model/clsWorkspace.h"

#include <memory>

extern std::unique_ptr<clsWorkspace> gWorkspace;
extern std::unique_ptr<clsSources> gSources;
