#pragma once

#include "hal/Interrupts.h"

// The interrupt 0x80 interface of loaded programs; every vector without a
// handler of its own lands here too.
class API {
public:
    static void HandleInt0x80(IRQContext& context);
};
