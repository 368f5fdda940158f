// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The view of the fault tests: the shared fake view, answering every options dialog with the
// preset choices, so a test can tell that the job went back to idle.
#include "tests/support/fake_view.h"

namespace tickora::test {

class FaultView final : public FakeView {
  public:
    FaultView() { answersDialogs = true; }
};

}  // namespace tickora::test
