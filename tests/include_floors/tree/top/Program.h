// The top floor is not checked.
#include "core/windows/Window.h"
