#include "hal/SystemCall.h"

void API::HandleInt0x80(IRQContext&)
{
    // No system call is offered yet.
}
