#include "fs/Permissions.h"

namespace Permissions {

namespace {

    // Bit n - 1 of the byte: n = 3 is read, n = 2 write.
    bool has_bit(u8 bits, Access access) { return (bits >> (static_cast<u8>(access) - 1)) & 1; }

}

bool allows(User const& user, DirectoryRecord const& record, Access access)
{
    if (user.is_superuser())
        return true;
    return (has_bit(record.owner_permissions, access) && user.name == record.owner)
        || has_bit(record.group_permissions, access) || has_bit(record.other_permissions, access);
}

}
