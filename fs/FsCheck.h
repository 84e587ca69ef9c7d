#pragma once

#include "fs/DiskFilesystem.h"

// Consistency check of a disk file system volume: walks every directory
// reachable from the root and reports, one line per problem, nodes or records
// that do not parse, extents that overlap or reach past the allocation
// pointer, and file contents whose checksum does not match. An empty list
// means clean.
namespace FsCheck {

ErrorOr<Vector<String>> run(DiskFilesystem& fs);

}
