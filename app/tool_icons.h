// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program icon and the tool bar's button images.
#include <QIcon>

class QPainter;

namespace tickora::gui {

// Paints the program icon into a square of side pixels (the same drawing as res/tickora.svg).
void DrawProgramIcon(QPainter& painter, int side);

// The program icon from the resources, or painted when they are missing.
[[nodiscard]] QIcon ProgramIcon();

// The 16-pixel image of a tool bar command; an empty icon for unknown ids.
[[nodiscard]] QIcon ToolBarIcon(int commandId);

}  // namespace tickora::gui
