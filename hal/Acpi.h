#pragma once

#include "base/Error.h"

#include <optional>

// Power-off through ACPI. The firmware leaves its tables in low memory; the
// S5 ("soft off") sleep type lives in the DSDT's `_S5_` package and the
// ports to write it to in the FACP. Nothing is switched into ACPI mode: the
// one write to the PM1 control registers is all the machine needs.
class ACPI {
public:
    // Finds the tables and keeps what power-off needs: 0 on success, -1 when
    // they are missing or incomplete ("no acpi." when there is no usable
    // root table at all).
    static i32 Init();
    // Clears the screen and switches the machine off. Returns, leaving the
    // fallback message on screen, when the machine is still running.
    static ErrorOr<void> Shutdown();

    // Physical address of the root system description pointer, or 0.
    static u32 RSDPAddress();
    // The 20 bytes of the root pointer add up to 0 modulo 256.
    static bool Check_RSD(u32 address);
    // 0 when the bytes at the address spell the text, -1 otherwise.
    static i32 Compare(char const* text, u32 address);
    static i32 acpiCheckHeader(u32 address, char const* signature);

    // What Init found; all zero or empty until it succeeds.
    static u32 Facp;
    static u32 PM1a_CNT;
    static u32 PM1b_CNT;
    static i16 SLP_TYPa; // already shifted into place (bits 10-12)
    static i16 SLP_TYPb;
    static i16 SLP_EN;
    static std::optional<u16> pm1aIO;
    static std::optional<u16> pm1bIO;

private:
    static bool TryFacp(u32 table);
    static void Forget();
};
