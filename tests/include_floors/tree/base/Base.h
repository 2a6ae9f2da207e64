// The lowest floor.
#include <vector>
#include "core/Core.h"
#include "Local.h"
