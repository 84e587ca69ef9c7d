#pragma once

// The simulated machine behind the hardware seam in host builds. Tests attach
// simulated devices to port ranges, back physical memory ranges with buffers,
// raise interrupt lines, and decide what happens when the code under test
// halts the processor to wait for an interrupt.

#include "base/Types.h"

#include <functional>
#include <memory>
#include <vector>

namespace Sim {

struct PortAccess {
    u16 port;
    u32 value;
    int width; // 8, 16 or 32
    bool write;
};

class PortDevice {
public:
    virtual ~PortDevice() = default;
    virtual u32 read(u16 port, int width) = 0;
    virtual void write(u16 port, u32 value, int width) = 0;
};

// Thrown out of a halt when the test has nothing more to deliver: it unwinds
// the code under test (loops that never return, blocking reads) back to the
// test, which then inspects the machine.
struct Stopped { };

// While one exists, any allocation with operator new throws
// AllocationRefused: shows that code runs without the heap, as it must where
// the heap itself may have failed.
class NoAllocations {
public:
    NoAllocations();
    ~NoAllocations();
    NoAllocations(NoAllocations const&) = delete;
    NoAllocations& operator=(NoAllocations const&) = delete;

    // The simulated machine's own work (the port log, the devices) is not
    // the code under test: it may allocate while one of these exists.
    class MachineSide {
    public:
        MachineSide();
        ~MachineSide();
        MachineSide(MachineSide const&) = delete;
        MachineSide& operator=(MachineSide const&) = delete;

    private:
        bool m_was_refusing;
    };
};
struct AllocationRefused { };

// Forget all devices, memory, the access log and the halt hook; back the
// first MiB of physical memory with zeros (text buffer, VGA window, BIOS area).
void reset();

// A member that resets the machine, placed before the members that attach
// devices or map memory so it runs first.
struct FreshMachine {
    FreshMachine() { reset(); }
};

void attach(u16 first_port, u16 last_port, PortDevice* device);
// Every port access, in order (reads too, with the value returned).
std::vector<PortAccess> const& accesses();
std::vector<PortAccess> writes_to(u16 port);
void clear_accesses();
// Value returned by reads of ports without a device.
void set_unattached_read_value(u32 value);

// Backs [base, base + length) with zero-filled simulated memory.
u8* map_memory(u32 base, u32 length);
u8* memory(u32 base);

// Called whenever the code under test halts with no one-shot armed on the
// interval timer's channel 0 (an armed one fires at the halt, by itself);
// it should raise an interrupt (or throw Stopped). Without a hook such a
// halt throws Stopped.
void on_halt(std::function<void()> hook);
// Calls the kernel's interrupt dispatcher for vector 0x20 + line, as the
// entry stub would.
void raise_irq(u8 line);
void raise_vector(u8 vector);
bool interrupts_enabled();
// Number of halts so far.
u64 halt_count();
// Value the next timestamp_counter() calls start from; each call adds 1000.
void set_timestamp(u64 value);
// Entry address and stack top most recently passed to Cpu::enter_program.
u32 last_call_address();
u32 last_stack_top();
// The simulated processor runs no x86 code: the next Cpu::enter_program runs
// `program` in its place, once. A Cpu::leave_program inside it comes back
// to that enter from any depth (through longjmp), as the real one drops the
// program's stack; both ways restore the interrupt flag of the enter.
void run_as_program(std::function<void()> program);
// Time the deadlines have seen pass on the interval timer's channel 2. Each
// read of the counter advances it by 1 ms unless a test sets another step,
// and every one-shot fired at a halt by its period.
u64 timer_milliseconds();
void set_timer_ticks_per_read(u32 ticks);
// Called after every advance of that counter, so a test can act once a given
// time has passed (a key pressed after three seconds of a wait).
void on_timer_read(std::function<void()> hook);
// Fallible allocations of more than `bytes` fail until the next reset.
void set_fallible_allocation_limit(size_t bytes);
// Blocks operator new has handed out and operator delete not taken back:
// what a piece of code leaves allocated is the change across it.
u64 live_allocations();
// Bytes of page frames taken and not given back; taking more than the limit
// fails until the next reset.
u64 page_frame_bytes();
void set_page_frame_limit(u64 bytes);
// What the next Paging::fault_address() gives: the address a simulated page
// fault touched.
void set_fault_address(u32 address);

}
