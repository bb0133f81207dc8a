#pragma once
// Imported coefficient text file: one number per line, up to 256 values, each -1..+1.
// A line ends with CR LF, a lone CR or a lone LF; one trailing
// non-digit per line (a comma, a semicolon, a space) is ignored; spaces around the number
// are ignored. Lines after the 256th are not read; missing values become 0.

#include "model.h"
#include "userdialog.h"

namespace korvane {

// Reads path into Coef of FilterData[CurrentSet][stage] (stage 1 or 2) and remembers the
// path in CoefFileName. All or nothing: on failure (missing or unreadable file, an empty
// line, a line that is not a number, a number beyond the single range) a beep and
// "File Open Error" are shown, the stage is unchanged and the result is false. Values
// outside -1..+1 are clipped and reported once with "Coefficients Out of Bounds"; the
// result is then still true. An empty file gives 256 zeros.
bool ReadFirFile(Model &model, int stage, const QString &path, UserDialog &dialog);

} // namespace korvane
