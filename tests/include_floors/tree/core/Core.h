// A core header.
#include "../base/Local.h"
