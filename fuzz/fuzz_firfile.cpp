// Coefficient text reader on arbitrary bytes. Beyond "no crash, no undefined behaviour": a
// failed read leaves the stage as it was; a successful one leaves 256 finite coefficients
// within -1..+1 and the path remembered.
#include "config/firfile.h"
#include "fuzzsupport.h"

#include <cmath>
#include <cstdlib>

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static fuzz::ScratchCleanup cleanup;
    const QString &path = fuzz::WriteScratch(data, size);
    fuzz::SilentDialog dialog;

    Model model;
    model.ResetAllFilterSets();
    model.CurrentSet = 5;
    StageConfig &s = model.stage(5, 2);
    s.Coef.fill(0.75f);
    s.CoefFileName = QStringLiteral("previous.txt");

    if (!ReadFirFile(model, 2, path, dialog)) {
        for (float c : s.Coef)
            if (c != 0.75f)
                std::abort();
        if (s.CoefFileName != QStringLiteral("previous.txt"))
            std::abort();
        return 0;
    }
    for (float c : s.Coef)
        if (!std::isfinite(c) || c < -1.0f || c > 1.0f)
            std::abort();
    if (s.CoefFileName != path || dialog.messages > 1)
        std::abort();
    return 0;
}
