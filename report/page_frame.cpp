#include "report_pages.h"

namespace quillar {

std::string BuildReportPage(const PageInputs& in) {
    if (in.deviceModel == "KD520") {
        return BuildTemplatePage(in);
    }
    if (in.deviceModel == "KD318") {
        return BuildFormPage(in);
    }
    if (in.deviceModel == "QM") {
        return BuildPlainPage(in);
    }
    return {};
}

std::string BuildPlainPage(const PageInputs& in) {
    std::string page;
    page.reserve(PageHead.size() + in.receivedText.size() + PageFoot.size());
    page += PageHead;
    page += in.receivedText;
    page += PageFoot;
    return page;
}

} // namespace quillar
