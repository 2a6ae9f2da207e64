// A core: its own headers, a subfolder of its own and the floor below.
#include "base/Base.h"
#include "Core.h"
#include "core/windows/Window.h"
#include "top/Program.h"
#include "sub/Part.h"
#include "generated_elsewhere.h"
