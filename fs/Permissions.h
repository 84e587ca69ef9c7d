#pragma once

#include "fs/DirectoryRecord.h"
#include "fs/User.h"

// Who may read and write a record. Bits of the three permission bytes: 4
// read, 2 write. There are no groups: access is granted when the owner byte
// allows it and the user owns the record, or when either of the two other
// bytes allows it to anyone. The superuser may do anything, whatever the
// record says, and needs no record at all.
namespace Permissions {

enum class Access : u8 {
    Read = 3,
    Write = 2,
};

bool allows(User const& user, DirectoryRecord const& record, Access access);

}
