#pragma once
// Helpers shared by the fuzz targets: a silent user dialog and a scratch file that holds the
// current input for the readers that take a path.

#include "config/userdialog.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <unistd.h>

namespace korvane::fuzz {

// Answers every message with its first button and cancels every file dialog. A fatal
// report cannot happen in the readers: if one does, abort so the fuzzer keeps the input.
class SilentDialog : public UserDialog {
public:
    MessageAnswer showMessage(const QString &, const QString &, MessageIcon, MessageButtons buttons) override
    {
        ++messages;
        return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
    }
    void beep() override { }
    std::optional<QString> askFileName(const FileDialogRequest &) override { return std::nullopt; }
    [[noreturn]] void endProgram() override { std::abort(); }

    int messages = 0;
};

// One file per fuzzing process, in memory when /dev/shm exists, rewritten for every input.
inline const QString &ScratchPath()
{
    static const QString path = [] {
        const QString dir = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        return dir + QStringLiteral("/korvane-fuzz-%1.input").arg(::getpid());
    }();
    return path;
}

inline const QString &WriteScratch(const uint8_t *data, size_t size)
{
    QFile f(ScratchPath());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || f.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size)) != static_cast<qint64>(size))
        std::abort();
    return ScratchPath();
}

// Removes the scratch file when the fuzzing process ends normally. The path is made first, so
// that it outlives this (statics end in the reverse order of their making): a path made after
// it was destroyed before it, and the removal read freed memory.
struct ScratchCleanup {
    ScratchCleanup() { (void)ScratchPath(); }
    ~ScratchCleanup() { QFile::remove(ScratchPath()); }
};

} // namespace korvane::fuzz
