// The program's one error handler. Every table manager reports through it;
// start-up initialises it before DictionaryInit and shuts it down last.
#pragma once

#include "platform/data/ErrorHandler.h"

namespace kr {

data::ErrorHandler& GlobalErrors();

}  // namespace kr
