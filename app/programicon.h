#pragma once
// The program's icon and logo, drawn rather than shipped as image files.

#include <QIcon>
#include <QPixmap>

namespace korvane {

// A filter-response curve on a dark square: the window icon and the About window's picIcon.
[[nodiscard]] QPixmap ProgramPixmap(int size);
[[nodiscard]] QIcon ProgramIcon();

} // namespace korvane
