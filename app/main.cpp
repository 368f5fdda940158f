// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tickora_app.h"

int main(int argc, char** argv) {
    return tickora::gui::RunDesktop(argc, argv);
}
