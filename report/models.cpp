#include "models.h"

#include <algorithm>

namespace quillar {

bool HasReportPage(std::string_view model) {
    return std::find(ReportModels.begin(), ReportModels.end(), model) != ReportModels.end();
}

std::string_view ModelOfPrintout(std::string_view printout) {
    auto holds = [printout](std::string_view label) {
        return printout.find(label) != std::string_view::npos;
    };
    const bool kd520 = holds("Healthy:") || holds("Charge:") || holds("Select Input:");
    const bool kd318OrQm = holds("SOH:") || holds("SOC:");
    if (kd520 && !kd318OrQm) {
        return "KD520";
    }
    if (kd318OrQm && !kd520 && holds("Battery Type:")) {
        return "QM";
    }
    return {};
}

} // namespace quillar
