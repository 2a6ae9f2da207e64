// A subfolder of the core stands on its floor.
#include "core/Core.h"
