#include "coefimage.h"

namespace korvane {

std::optional<QByteArray> BuildFilterImageBytes(const Model &, UserDialog &) { return std::nullopt; }
bool BuildFilterImage(const Model &, const QString &, UserDialog &) { return false; }

} // namespace korvane
