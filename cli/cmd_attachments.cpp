// glimmer-cli attachments FILE TABLE OUTDIR: every attachment of the table
// written to files, one folder per row (jet/attachment_files.h). Prints one
// line per file: its path inside OUTDIR, TAB, its size in bytes.
#include "cli/commands.h"
#include "jet/attachment_files.h"
#include "jet/database.h"

namespace cli {

int cmdAttachments(const Args& a, std::ostream& out) {
  if (a.positional.size() < 3) return 2;
  jet::OpenOptions o;
  o.password = a.password;
  o.readOnly = true;
  auto db = jet::Database::open(a.positional[0], o);
  for (const auto& f : jet::writeAttachments(*db, a.positional[1], a.positional[2]))
    out << f.path << '\t' << f.bytes << '\n';
  return 0;
}

}  // namespace cli
