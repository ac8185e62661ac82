#pragma once
// The program's naming rules for downloaded files and its default folder.

#include <string>

namespace tamsel {

// Local time as fourteen digits ("%Y%m%d%H%M%S") followed by `suffix`.
std::string MakeTimeName(const std::string& suffix);

// The user's documents folder (XDG_DOCUMENTS_DIR, else $HOME/Documents) plus
// "/Vorrel", created with its parents when missing. No trailing slash; empty when
// no home folder is known.
std::string GetDefaultFolder();

// `name` when folder/name does not exist yet; otherwise `name` with every ".flv"
// replaced by "[2].flv", shortened before its last "[2].flv" when it would pass
// 255 bytes. Looks only once: the "[2]" name may exist as well.
std::string ApplyTakenNameRule(const std::string& folder, const std::string& name);

}  // namespace tamsel
