#pragma once

#include "base/String.h"

// The user on whose behalf every permission check is made. Privilages 0 is
// the superuser, for whom every check passes without reading the disk.
class CurrentUser {
public:
    static String Username;
    static u8 Privilages;
};
