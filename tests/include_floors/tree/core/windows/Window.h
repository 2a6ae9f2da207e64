// A window may include every core below it.
#include "core/Core.h"
#include "base/Base.h"
