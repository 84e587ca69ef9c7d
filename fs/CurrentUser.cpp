#include "fs/CurrentUser.h"

String CurrentUser::Username = "root";
u8 CurrentUser::Privilages = 0;
