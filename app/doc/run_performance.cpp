#include "app/doc/tickora_doc.h"

namespace tickora {

// Placeholder until the job lands: ends at once so that the form returns to idle.
void CTickoraDoc::RunGetPerformance() {
    JobReport report;
    report.job = "performance";
    EndJob(report);
}

}  // namespace tickora
