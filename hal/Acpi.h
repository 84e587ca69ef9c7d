#pragma once

#include "base/Error.h"

#include <optional>

// Power-off through ACPI. The firmware leaves its tables in low memory; the
// S5 ("soft off") sleep type lives in the DSDT's `_S5_` package and the
// ports to write it to in the FACP. Nothing is switched into ACPI mode: the
// one write to the PM1 control registers is all the machine needs.
class ACPI {
public:
    // The enable bit written together with the sleep type.
    static constexpr u16 SleepEnable = 0x2000;

    // What power-off needs, as one FACP and its DSDT give it.
    struct SleepControl {
        u32 facp;                        // physical address of the table it came from
        u16 pm1a_control;                // port of the PM1a control register
        std::optional<u16> pm1b_control; // absent when the FACP names no PM1b block
        u16 sleep_type_a;                // already shifted into place (bits 10-12)
        u16 sleep_type_b;
    };

    // Reads the tables. Fails with "no acpi." when there is no usable root
    // table at all; root tables without a usable FACP and `_S5_` package
    // give an ACPI that cannot switch the machine off.
    static ErrorOr<ACPI> find();

    std::optional<SleepControl> const& control() const { return m_control; }
    // Writes the S5 sleep type to the control registers, when the tables
    // gave them. Returns when the machine is still running.
    void power_off() const;

    // Physical address of the root system description pointer.
    static std::optional<u32> rsdp_address();
    // The 20 bytes of the root pointer add up to 0 modulo 256.
    static bool check_rsd(u32 address);

private:
    explicit ACPI(std::optional<SleepControl> control)
        : m_control(control)
    {
    }

    std::optional<SleepControl> m_control;
};
