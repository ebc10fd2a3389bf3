#include "report_pages.h"

#include "report/models.h"

namespace quillar {

std::string BuildReportPage(const PageInputs& in) {
    const ModelTraits* traits = TraitsOf(in.deviceModel);
    return traits != nullptr ? traits->buildPage(in) : std::string();
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
