#pragma once
// The program's naming rules for downloaded files and its default folder.

#include <cstddef>
#include <functional>
#include <string>

namespace tamsel {

// Local time as fourteen digits ("%Y%m%d%H%M%S") followed by `suffix`.
std::string MakeTimeName(const std::string& suffix);

// The user's documents folder (XDG_DOCUMENTS_DIR, else $HOME/Documents) plus
// "/Vorrel", created with its parents when missing. No trailing slash; empty when
// no home folder is known.
std::string GetDefaultFolder();

// The longest file name the file systems take, in bytes.
inline constexpr std::size_t kMaxFileNameBytes = 255;

// Whether a name is taken by another task of this run.
using NameTakenByTask = std::function<bool(const std::string& name)>;

// `name` with "[n]" before its extension (the text from its last dot, when that dot
// does not start the name), the text before it cut at a character boundary so the
// result stays within kMaxFileNameBytes. `n` below 2 returns `name` unchanged.
std::string NumberedName(const std::string& name, int n);

// The temporary file a download writes beside `name`: "<name>.part", `name` cut at a
// character boundary when the whole would pass kMaxFileNameBytes.
std::string PartNameFor(const std::string& name);

// The first of `name`, NumberedName(name, 2), NumberedName(name, 3), ... that is free:
// neither it nor its part file is on disk in `folder` (links, FIFOs and folders count)
// and `taken` (when given) says no task of this run holds it.
std::string ApplyTakenNameRule(const std::string& folder, const std::string& name,
                               const NameTakenByTask& taken = {});

// The extensions of the containers a download may be stored as (lower case, with dot).
bool IsVideoExtension(const std::string& extension);
// True when `name` ends with one of them, in any case.
bool HasVideoExtension(const std::string& name);
// The container named by the last path segment of a media address (".mp4", ...), or ""
// when it names none of them.
std::string ExtensionFromAddress(const std::string& url);
// The container named by a Content-Type value ("video/webm" -> ".webm"), or "".
std::string ExtensionFromContentType(const std::string& contentType);
// `name` with its ending ".flv" (the default) replaced by `extension`; `name` as it is
// when it does not end with ".flv" or `extension` is empty.
std::string WithMediaExtension(const std::string& name, const std::string& extension);
// `name` with its video extension, if any, replaced by `extension`, or `extension`
// added: a stream's container is fixed by its segments, whatever the name said.
std::string WithContainerExtension(const std::string& name, const std::string& extension);

}  // namespace tamsel
