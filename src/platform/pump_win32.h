// Letting pending window messages run from inside a handler.
#pragma once

namespace tovalin::platform {

// Lets pending window messages run, like a toolkit's "do events", except user input, which is
// left for the loop that owns it. Other handlers run inside the caller: anything may have been
// unloaded when it returns.
void PumpPendingMessages();

}  // namespace tovalin::platform
