#include "hal/Power.h"

#include "arch/Cpu.h"
#include "arch/Port.h"
#include "hal/Debugger.h"
#include "hal/Time.h"

namespace {
constexpr u16 ControllerStatus = 0x64;
constexpr u8 InputBufferFull = 0x02;
constexpr u8 PulseResetLine = 0xFE;
}

void Power::restart_through_keyboard_controller()
{
    Debugger::send("Restarting through the keyboard controller");
    // Bounded: a controller that never drains its buffer must not hang us.
    Deadline deadline(50);
    while ((Port::in8(ControllerStatus) & InputBufferFull) && !deadline.has_passed()) { }
    Port::out8(ControllerStatus, PulseResetLine);
    Cpu::halt();
    Cpu::halt();
}
