#include "platform/counters.h"

namespace tovalin::platform {

CounterValues*& CounterBlock() {
    static CounterValues local{};
    static CounterValues* block = &local;
    return block;
}

}  // namespace tovalin::platform
