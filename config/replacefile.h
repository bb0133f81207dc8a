#pragma once
// Replacing a file all or nothing, for every file the program writes over an older one (the
// settings file, rendered audio). The new content goes to a temporary file with an
// unpredictable name in the target's folder, created exclusively (a name planted there in
// advance, a symbolic link among them, is never opened), is flushed to the disk and then
// renamed over the target. So:
//  - a write that fails, or is refused part-way, leaves the old file as it was and no
//    temporary file behind;
//  - two writers of one target never mix their blocks: each writes its own temporary file and
//    the last rename wins with a complete file;
//  - an existing file keeps its permission bits (a 0600 file stays 0600); a new one gets
//    0666 less the umask;
//  - a target that is a symbolic link stays a link: the file it points to is replaced.

#include <QIODevice>
#include <QString>

#include <functional>

namespace korvane {

// Writes path through write, which gets the open temporary file (write-only, seekable) and
// returns false to give up. True when every byte is on the disk under path. False otherwise,
// with the system's reason in *why when the file system refused something ("No space left on
// device", "Permission denied"); when write gave up without a failed write, *why is left as
// write set it.
[[nodiscard]] bool ReplaceFile(const QString &path, const std::function<bool(QIODevice &file)> &write,
                               QString *why = nullptr);

} // namespace korvane
