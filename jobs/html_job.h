// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the list job and the profile job hold while they run: their context and the three
// switches of their options.
#include "jobs/job_context.h"

namespace tickora {

class HtmlJob {
  protected:
    HtmlJob(JobContext& context, const JobOptions& options)
        : m_context(context),
          m_outcome(context.outcome),
          m_keepHtml(options.KeepsHtml()),
          m_addedOnly(options.addedOnly),
          m_useKeptHtml(options.useKeptHtml) {}

    JobContext& m_context;
    JobOutcome& m_outcome;
    const bool m_keepHtml;
    const bool m_addedOnly;
    const bool m_useKeptHtml;
};

}  // namespace tickora
