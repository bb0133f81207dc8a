#pragma once
// The link between the main window and the device library's programming sequence: the
// progress window is connected to the sequence's signals for the length of one run.

#include "config/model.h"
#include "config/userdialog.h"

#include <QString>

#include <functional>

namespace korvane {

class CommWindow;

struct ProgrammingRunContext {
    Model &model;
    UserDialog &dialog;
    CommWindow &view;
    QString programFolder;                     // filter.bin is written and korvanes.fwr read here
    std::function<void(int)> onComPortChanged; // discovery found the processor on this COM port, now model.ComPort
    QString settingsPath;                      // the settings file last opened or saved (programming log)
};

// Runs discovery, the image build and the upload with its closing message; true when the
// processor was programmed.
using ProgrammingRunner = std::function<bool(ProgrammingRunContext &)>;

// The runner of the device library.
[[nodiscard]] bool RunProgrammingSequence(ProgrammingRunContext &context);

// Discovery and the processor's self-tests alone ("T D F", "T D C") with their closing
// message; true when no test failed.
[[nodiscard]] bool RunVerifySequence(ProgrammingRunContext &context);

// The serial device behind "COM n" (1..9) as the device library maps it, for the COM Port
// menu's tips; empty when unknown.
[[nodiscard]] QString ComPortDevicePath(int port);
// The stable /dev/serial/by-id name of the device behind "COM n"; empty when it has none.
[[nodiscard]] QString ComPortStableName(int port);

} // namespace korvane
