#include "arch/Paging.h"

namespace {

// The directory, and the two tables of the first 8 MiB: there the low
// program range sits between the kernel's pages, so it is mapped page by
// page. Every other entry maps 4 MiB at once.
alignas(Paging::PageSize) u32 g_directory[1024];
alignas(Paging::PageSize) u32 g_low_tables[2][1024];

}

// The boot's step (arch/i386/Entry.S): the kernel's mapping, then paging on.
extern "C" void enable_paging()
{
    using namespace Paging;
    for (u32 table = 0; table < 2; ++table) {
        for (u32 page = 0; page < 1024; ++page)
            g_low_tables[table][page] = kernel_page(table * TableSpan + page * PageSize);
        // User on the directory entry lets the table's own entries decide.
        g_directory[table] = reinterpret_cast<u32>(g_low_tables[table]) | Present | Writable | User;
    }
    for (u32 entry = 2; entry < 1024; ++entry)
        g_directory[entry] = kernel_large_page(entry * TableSpan);
    // CR4.PSE for the 4 MiB pages; CR0.PG switches paging on and CR0.WP makes
    // read-only pages read-only for the kernel too.
    asm volatile("movl %%cr4, %%eax; orl $0x10, %%eax; movl %%eax, %%cr4" ::: "eax");
    asm volatile("movl %0, %%cr3" ::"r"(g_directory) : "memory");
    asm volatile("movl %%cr0, %%eax; orl $0x80010000, %%eax; movl %%eax, %%cr0" ::: "eax", "memory");
}

namespace Paging {

u32 directory() { return reinterpret_cast<u32>(g_directory); }

void flush() { asm volatile("movl %%cr3, %%eax; movl %%eax, %%cr3" ::: "eax", "memory"); }

u32 fault_address()
{
    u32 address;
    asm volatile("movl %%cr2, %0" : "=r"(address));
    return address;
}

}
