// Settings file reader on arbitrary bytes. Beyond "no crash, no undefined behaviour":
//  - a failed read leaves the model exactly as it was, or at start-up reset with port 1;
//  - a successful read leaves a model whose own file reads back successfully, with every
//    Bandwidth 2 and the port in 1..9.
#include "config/settingsfile.h"
#include "fuzzsupport.h"

#include <cstdlib>

using namespace korvane;

namespace {

bool sameModel(const Model &a, const Model &b) { return a.ComPort == b.ComPort && a.FilterData == b.FilterData; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static fuzz::ScratchCleanup cleanup;
    const QString &path = fuzz::WriteScratch(data, size);
    fuzz::SilentDialog dialog;

    Model model;
    model.ResetAllFilterSets();
    model.ComPort = 7;
    model.stage(3, 2).Freq1 = 1234; // something a reset would undo
    const SettingsReadOptions options{.startup = size > 0 && (data[size - 1] & 1)};
    const Model before = model;

    SettingsFileInfo info;
    if (!ReadSettingsFile(model, path, dialog, options, &info)) {
        if (options.startup) {
            Model reset = before;
            reset.ResetAllFilterSets();
            reset.ComPort = 1;
            if (!sameModel(model, reset))
                std::abort();
        } else if (!sameModel(model, before) || dialog.messages != 1) {
            std::abort();
        }
        return 0;
    }

    if (model.ComPort < 1 || model.ComPort > 9 || (info.setCount != 10 && info.setCount != kFilterSetCount))
        std::abort();
    for (int set = 0; set < kFilterSetCount; ++set)
        if (model.stage(set, 1).Bandwidth != 2 || model.stage(set, 2).Bandwidth != 2)
            std::abort();

    // What was read can be stored and read again.
    QFile f(path);
    const QByteArray content = SettingsFileContent(model);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size())
        std::abort();
    f.close();
    Model again;
    if (!ReadSettingsFile(again, path, dialog, SettingsReadOptions{.startup = true}))
        std::abort();
    return 0;
}
