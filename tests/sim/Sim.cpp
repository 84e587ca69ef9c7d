#include "tests/sim/Sim.h"

#include "arch/Cpu.h"
#include "arch/Paging.h"
#include "arch/PhysicalMemory.h"
#include "arch/Port.h"
#include "hal/Interrupts.h"
#include "hal/PageFrames.h"
#include "hal/Time.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>

namespace {

struct Region {
    u32 base;
    std::vector<u8> bytes;
};

// The interval timer's channel 2 as the deadlines read it: a counter running
// down from 65536, which here advances by a fixed number of input clocks at
// every read of its low byte, so a polling loop sees time pass.
struct FreeRunningTimer : Sim::PortDevice {
    u64 ticks { 0 };
    u32 ticks_per_read { 1193 };
    bool high_byte_next { false };
    u16 latched { 0 };
    std::function<void()> on_read;

    u32 read(u16 port, int) override
    {
        if (port != 0x42)
            return 0;
        if (high_byte_next) {
            high_byte_next = false;
            return latched >> 8;
        }
        ticks += ticks_per_read;
        latched = static_cast<u16>(0x10000 - ticks % 0x10000);
        high_byte_next = true;
        if (on_read)
            on_read();
        return latched & 0xFF;
    }
    void write(u16, u32, int) override { }
};

// The interval timer's channel 0 as the one-shot waits program it: mode 0
// through the command port, then the divisor, low byte first. The next halt
// fires it (see Cpu::halt).
struct OneShotChannel : Sim::PortDevice {
    std::vector<u8> bytes;
    std::optional<u32> armed;

    u32 read(u16, int) override { return 0; }
    void write(u16 port, u32 value, int) override
    {
        // Commands for the other channels (bits 7-6) are channel 2's.
        if (port == 0x43 && (value & 0xC0) == 0) {
            bytes.clear();
            armed.reset();
        }
        if (port == 0x40) {
            bytes.push_back(static_cast<u8>(value));
            if (bytes.size() == 2) {
                u32 divisor = bytes[0] | (bytes[1] << 8);
                armed = divisor ? divisor : 0x10000;
                bytes.clear();
            }
        }
    }
};

struct Machine {
    std::map<u16, Sim::PortDevice*> devices;
    std::vector<Sim::PortAccess> log;
    std::vector<Region> regions;
    std::function<void()> halt_hook;
    bool interrupts { false };
    u32 unattached { 0xFF };
    u64 halts { 0 };
    u64 tsc { 0 };
    u32 last_call { 0 };
    u32 last_stack { 0 };
    std::function<void()> program;
    // The enter a leave goes back to, while a simulated program runs.
    Cpu::KernelReturnPoint const* running_point { nullptr };
    std::jmp_buf* leave_jump { nullptr };
    i32 leave_status { 0 };
    FreeRunningTimer timer;
    OneShotChannel one_shot;
    // The page directory, made at its first use, and the page frames: each
    // a region of its own above the rest.
    bool directory_made { false };
    u32 next_frame { FirstFrame };
    std::map<u32, u32> live_frames;
    u64 frame_limit { ~0ull };
    u64 frame_bytes { 0 };
    u32 fault_address { 0 };
    static constexpr u32 DirectoryAddress = 0x0FFF0000;
    static constexpr u32 FirstFrame = 0x10000000;

    // A test that never resets the machine still has a clock for its
    // deadlines.
    Machine() { attach_timer(); }
    void attach_timer()
    {
        devices[0x40] = &one_shot;
        devices[0x43] = &one_shot;
        devices[0x42] = &timer;
        devices[0x61] = &timer;
    }
};

Machine& machine()
{
    static Machine g_machine;
    return g_machine;
}

u32 port_read(u16 port, int width)
{
    Sim::NoAllocations::MachineSide machine_side;
    auto& m = machine();
    auto it = m.devices.find(port);
    u32 mask = width == 32 ? 0xFFFFFFFFu : (1u << width) - 1;
    u32 value = (it != m.devices.end() ? it->second->read(port, width) : m.unattached) & mask;
    m.log.push_back({ port, value, width, false });
    return value;
}

void port_write(u16 port, u32 value, int width)
{
    Sim::NoAllocations::MachineSide machine_side;
    auto& m = machine();
    m.log.push_back({ port, value, width, true });
    auto it = m.devices.find(port);
    if (it != m.devices.end())
        it->second->write(port, value, width);
}

}

namespace Sim {

void reset()
{
    auto& m = machine();
    m.devices.clear();
    m.log.clear();
    // The first MiB is zeroed where it is rather than allocated anew: the
    // fuzzers reset the machine for every input.
    std::vector<u8> low;
    if (!m.regions.empty() && m.regions.front().base == 0)
        low = std::move(m.regions.front().bytes);
    low.assign(0x100000, 0);
    m.regions.clear();
    m.halt_hook = nullptr;
    m.interrupts = false;
    m.unattached = 0xFF;
    m.halts = 0;
    m.tsc = 0;
    m.last_call = 0;
    m.last_stack = 0;
    m.program = nullptr;
    m.running_point = nullptr;
    m.leave_jump = nullptr;
    m.timer = {};
    m.one_shot = {};
    m.directory_made = false;
    m.next_frame = Machine::FirstFrame;
    m.live_frames.clear();
    m.frame_limit = ~0ull;
    m.frame_bytes = 0;
    m.fault_address = 0;
    set_fallible_allocation_limit(static_cast<size_t>(-1));
    m.attach_timer();
    m.regions.push_back({ 0, std::move(low) });
}

void attach(u16 first_port, u16 last_port, PortDevice* device)
{
    for (u32 p = first_port; p <= last_port; ++p)
        machine().devices[static_cast<u16>(p)] = device;
}

std::vector<PortAccess> const& accesses() { return machine().log; }

std::vector<PortAccess> writes_to(u16 port)
{
    std::vector<PortAccess> result;
    for (auto const& a : machine().log) {
        if (a.write && a.port == port)
            result.push_back(a);
    }
    return result;
}

void clear_accesses() { machine().log.clear(); }
void set_unattached_read_value(u32 value) { machine().unattached = value; }

u8* map_memory(u32 base, u32 length)
{
    auto& regions = machine().regions;
    regions.push_back({ base, std::vector<u8>(length, 0) });
    return regions.back().bytes.data();
}

u8* memory(u32 base) { return PhysicalMemory::map(base, 1); }

void on_halt(std::function<void()> hook) { machine().halt_hook = std::move(hook); }

void raise_vector(u8 vector)
{
    IRQContext context {};
    context.interrupt = vector;
    bool were_enabled = machine().interrupts;
    machine().interrupts = false; // interrupt gates clear IF
    Interrupts::dispatch(context);
    machine().interrupts = were_enabled;
}

void raise_irq(u8 line) { raise_vector(static_cast<u8>(0x20 + line)); }
bool interrupts_enabled() { return machine().interrupts; }
u64 halt_count() { return machine().halts; }
void set_timestamp(u64 value) { machine().tsc = value; }
u32 last_call_address() { return machine().last_call; }
u32 last_stack_top() { return machine().last_stack; }
void run_as_program(std::function<void()> program) { machine().program = std::move(program); }
u64 timer_milliseconds() { return machine().timer.ticks * 1000 / PIT::Frequency; }
void set_timer_ticks_per_read(u32 ticks) { machine().timer.ticks_per_read = ticks; }
void on_timer_read(std::function<void()> hook) { machine().timer.on_read = std::move(hook); }

}

// The simulated processor has no descriptor table: raise_vector calls the
// dispatcher directly. Filling the table only switches interrupts on.
void Interrupts::update_idt(bool enable)
{
    if (enable)
        Cpu::enable_interrupts();
}

namespace Port {
u8 in8(u16 port) { return static_cast<u8>(port_read(port, 8)); }
u16 in16(u16 port) { return static_cast<u16>(port_read(port, 16)); }
u32 in32(u16 port) { return port_read(port, 32); }
void out8(u16 port, u8 value) { port_write(port, value, 8); }
void out16(u16 port, u16 value) { port_write(port, value, 16); }
void out32(u16 port, u32 value) { port_write(port, value, 32); }
void in16_block(u16 port, u16* words, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        words[i] = in16(port);
}
void out16_block(u16 port, u16 const* words, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        out16(port, words[i]);
}
}

u8* PhysicalMemory::map(u32 base, u32 length)
{
    // Later mappings shadow earlier ones, so a test can plant a region over
    // the default first MiB.
    auto& regions = machine().regions;
    for (auto it = regions.rbegin(); it != regions.rend(); ++it) {
        u64 end = static_cast<u64>(it->base) + it->bytes.size();
        if (base >= it->base && static_cast<u64>(base) + length <= end)
            return it->bytes.data() + (base - it->base);
    }
    return nullptr;
}

namespace Cpu {

void halt()
{
    auto& m = machine();
    ++m.halts;
    // An armed one-shot ends the halt: its period passes on the timer's
    // clock (channel 2 counts it too) and its interrupt arrives, before any
    // key or packet a test has waiting.
    if (auto divisor = m.one_shot.armed) {
        m.one_shot.armed.reset();
        m.timer.ticks += *divisor;
        Sim::raise_irq(0);
        if (m.timer.on_read)
            m.timer.on_read();
        return;
    }
    if (!m.halt_hook)
        throw Sim::Stopped {};
    bool were_enabled = m.interrupts;
    m.interrupts = true;
    m.halt_hook();
    m.interrupts = were_enabled;
}

void disable_interrupts() { machine().interrupts = false; }
void enable_interrupts() { machine().interrupts = true; }
bool interrupts_enabled() { return machine().interrupts; }

void enable_interrupts_and_halt()
{
    machine().interrupts = true;
    halt();
}

void halt_forever() { throw Sim::Stopped {}; }
i32 enter_program(u32 entry, u32 stack_top, KernelReturnPoint& point)
{
    auto& m = machine();
    m.last_call = entry;
    m.last_stack = stack_top;
    std::function<void()> program = std::move(m.program);
    m.program = nullptr;
    bool const were_enabled = m.interrupts;
    std::jmp_buf jump;
    m.running_point = &point;
    m.leave_jump = &jump;
    i32 status = 0;
    if (setjmp(jump) == 0) {
        if (program)
            program();
    } else {
        status = m.leave_status;
    }
    m.running_point = nullptr;
    m.leave_jump = nullptr;
    m.interrupts = were_enabled;
    return status;
}

void leave_program(KernelReturnPoint const& point, i32 status)
{
    auto& m = machine();
    if (!m.leave_jump || m.running_point != &point) {
        std::fprintf(stderr, "simulated machine: leave_program without its enter_program\n");
        std::abort();
    }
    m.leave_status = status;
    std::longjmp(*m.leave_jump, 1);
}

void initialize_fpu() { }

u64 timestamp_counter()
{
    machine().tsc += 1000;
    return machine().tsc;
}

}

// The simulated processor translates nothing: the page directory and the
// frames are simulated memory that the code under test fills and reads as
// the kernel does, and the tests inspect.
namespace Paging {

u32 directory()
{
    auto& m = machine();
    if (!m.directory_made) {
        m.directory_made = true;
        // The kernel's one-to-one mapping, laid out as the real one.
        u32* entries = reinterpret_cast<u32*>(Sim::map_memory(Machine::DirectoryAddress, 3 * PageSize));
        for (u32 table = 0; table < 2; ++table) {
            u32 table_address = Machine::DirectoryAddress + (table + 1) * PageSize;
            for (u32 page = 0; page < 1024; ++page)
                entries[(table + 1) * 1024 + page] = kernel_page(table * TableSpan + page * PageSize);
            entries[table] = table_address | Present | Writable | User;
        }
        for (u32 entry = 2; entry < 1024; ++entry)
            entries[entry] = kernel_large_page(entry * TableSpan);
    }
    return Machine::DirectoryAddress;
}

void flush() { }
u32 fault_address() { return machine().fault_address; }

}

ErrorOr<u32> PageFrames::take(u32 bytes)
{
    auto& m = machine();
    if (m.frame_bytes + bytes > m.frame_limit)
        return Error("Not enough memory");
    u32 address = m.next_frame;
    Sim::map_memory(address, bytes);
    m.next_frame += bytes;
    m.live_frames[address] = bytes;
    m.frame_bytes += bytes;
    return address;
}

void PageFrames::give_back(u32 address)
{
    auto& m = machine();
    auto it = m.live_frames.find(address);
    if (it == m.live_frames.end()) {
        std::fprintf(stderr, "simulated machine: page frames at 0x%08x given back twice or never taken\n", address);
        std::abort();
    }
    m.frame_bytes -= it->second;
    m.live_frames.erase(it);
    // The memory goes with the frames, and once none are taken the addresses
    // start over: a test may run thousands of programs.
    std::erase_if(m.regions, [&](Region const& region) { return region.base == address; });
    if (m.live_frames.empty())
        m.next_frame = Machine::FirstFrame;
}

namespace Sim {
u64 page_frame_bytes() { return machine().frame_bytes; }
void set_page_frame_limit(u64 bytes) { machine().frame_limit = bytes; }
void set_fault_address(u32 address) { machine().fault_address = address; }
}
