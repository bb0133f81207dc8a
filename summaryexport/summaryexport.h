#pragma once
// File > Export Summary: the whole configuration as one HTML page, a section per filter set
// with its set-wide options, the one-line summary of each stage and the set's response chart
// (Stage 1, Stage 2 and the cascade, the chart the response panel shows) embedded as SVG, so
// the page is a single self-contained file.

#include "config/model.h"

#include <QByteArray>
#include <QString>

namespace korvane {

// title: shown at the top of the page (e.g. the settings file's name).
[[nodiscard]] QByteArray SummaryHtml(const Model &model, const QString &title);

// Writes the page through a temporary file that replaces path only when complete; false (and
// the reason in *error) when it could not be written.
[[nodiscard]] bool WriteSummaryHtml(const Model &model, const QString &title, const QString &path, QString *error);

} // namespace korvane
