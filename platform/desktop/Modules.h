// The modules the programs open on first use, so that a program that never
// plays a sound or reads another program's controls does not map the
// libraries behind them: kr_sound_player (Qt Multimedia) and
// kr_accessibility (AT-SPI). They lie in lib/kairoll beside the programs'
// folder, in the build tree as in an installed one.
#pragma once

namespace kr {

// The function `function` of module `module` ("kr_sound_player" is the file
// lib/kairoll/libkr_sound_player.so), the module opened when it is not yet;
// nullptr when the module or the function is missing. Thread-safe.
void* ModuleFunction(const char* module, const char* function);

}  // namespace kr
