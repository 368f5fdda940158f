// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A message of the desktop's notification service (org.freedesktop.Notifications), for the end
// of a long job that the user has turned away from.
#include <QString>

namespace tickora::gui {

// False when no session bus or no notification service is there; nothing else is tried then.
bool NotifyDesktop(const QString& summary, const QString& body);

}  // namespace tickora::gui
