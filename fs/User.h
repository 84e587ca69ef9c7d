#pragma once

#include "base/String.h"

// The user on whose behalf a file system makes its permission checks.
// Privilege level 0 is the superuser, for whom every check passes without
// reading the disk.
struct User {
    String name;
    u8 privileges { 0 };

    bool is_superuser() const { return privileges == 0; }
    static User root() { return { "root", 0 }; }
};
