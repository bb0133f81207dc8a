#pragma once
// A filter set's response written to a file as the command line's "response" command and the
// main window's response panel both write it: CSV (frequency_hz,stage1_db,stage2_db,
// cascade_db, one row per frequency; an empty column for a stage without a fixed response),
// SVG or PNG of the chart.

#include "responsechart.h"

#include <QByteArray>
#include <QSize>
#include <QString>

namespace korvane {

enum class ResponseFileFormat { Csv, Svg, Png };

inline constexpr QSize kResponseFileSize{900, 520};

[[nodiscard]] QByteArray ResponseCsv(const SetResponse &response);

// The format named by the file's extension (.csv, .svg, .png, any letter case); PNG for
// anything else.
[[nodiscard]] ResponseFileFormat ResponseFileFormatOf(const QString &path);

// The bytes of the file: the CSV table, the SVG document or the PNG image (a PNG needs a
// QGuiApplication). Empty when the image could not be encoded.
[[nodiscard]] QByteArray ResponseFileContent(const SetResponse &response, ResponseFileFormat format,
                                             QSize size = kResponseFileSize);

// Writes the file through a temporary file that replaces path only when complete; false (and
// the reason in *error) when it could not be written.
[[nodiscard]] bool WriteResponseFile(const QString &path, const SetResponse &response, ResponseFileFormat format,
                                     QString *error, QSize size = kResponseFileSize);

} // namespace korvane
