#include "hal/Power.h"

#include "arch/Cpu.h"
#include "arch/Port.h"
#include "hal/Debugger.h"

namespace {
constexpr u16 ControllerStatus = 0x64;
constexpr u8 InputBufferFull = 0x02;
constexpr u8 PulseResetLine = 0xFE;
}

void Power::Reboot()
{
    Debugger::Send("Restarting through the keyboard controller");
    // Bounded: a controller that never drains its buffer must not hang us.
    for (int i = 0; i < 100000 && (Port::in8(ControllerStatus) & InputBufferFull); ++i) { }
    Port::out8(ControllerStatus, PulseResetLine);
    Cpu::halt();
    Cpu::halt();
}
