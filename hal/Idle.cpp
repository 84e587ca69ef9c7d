#include "hal/Idle.h"

#include "arch/Cpu.h"
#include "hal/Time.h"

namespace {
Idle::Task g_task = nullptr;
void* g_context = nullptr;
}

void Idle::set_task(Task task, void* context)
{
    g_task = task;
    g_context = context;
}

void Idle::run_task()
{
    if (g_task)
        g_task(g_context);
}

void Idle::halt()
{
    if (g_task)
        PIT::arm_one_shot((PIT::Frequency * TaskPeriodMs + 999) / 1000);
    Cpu::enable_interrupts_and_halt();
}
