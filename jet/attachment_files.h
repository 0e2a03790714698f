// Writes every attachment of a table to files (glimmer-cli attachments): one
// folder per row inside the output folder, named by the row's primary key
// when the table has a one-column primary key ("ID 3"), else by its position
// in the table ("row 3", counted from 1). A table with more than one
// attachment column gets a sub-folder per column. Files are written
// decompressed under their stored names made safe (see safeFileName); a
// name that is taken already in its folder gets " (2)", " (3)", … before its
// extension. Nothing is overwritten and no link is followed: a file or folder
// that exists already is refused with 3043.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/database.h"

namespace jet {

struct WrittenAttachment {
  std::string path;  // relative to the output folder ("ID 3/photo.jpg")
  uint64_t bytes = 0;
};

// Errors: 3078 unknown table, 3265 a table without attachment columns,
// 3049 damaged attachment data, 3043 a file or folder that cannot be made.
std::vector<WrittenAttachment> writeAttachments(Database& db, const std::string& table,
                                                const std::string& outDir);

}  // namespace jet
