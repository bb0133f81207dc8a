#pragma once
// Imported coefficient text file: one number per line, up to 256 values, each -1..+1.

#include "model.h"
#include "userdialog.h"

namespace korvane {

// Reads path into Coef of FilterData[CurrentSet][stage] and remembers the path in
// CoefFileName. All or nothing: on failure "File Open Error" is shown and the stage is
// unchanged. Clipped values are reported once with "Coefficients Out of Bounds".
void ReadFirFile(Model &model, int stage, const QString &path, UserDialog &dialog);

} // namespace korvane
