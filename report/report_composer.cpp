#include "report/report_composer.h"

#include "report/device_chars.h"
#include "report/phrase_tables.h"

namespace quillar {

void AddRead(std::string& receivedText, std::string_view read, const ReportSetting& setting) {
    receivedText += TranslateDeviceBytes(read, setting.model, setting.language);
    ApplyPhraseTables(receivedText, setting.tables->colonTable, setting.tables->languageTable,
                      setting.language);
}

std::string ComposePage(std::string_view receivedText, const ReportSetting& setting,
                        PageInputs place) {
    place.deviceModel = setting.model;
    place.currentLanguage = setting.language;
    place.receivedText = receivedText;
    place.templateLines = &setting.tables->templateLines;
    place.languageTable = &setting.tables->languageTable;
    return BuildReportPage(place);
}

std::string ComposeReportPage(std::string_view bytes, std::size_t chunk,
                              const ReportSetting& setting, const PageInputs& place) {
    std::string receivedText;
    const std::size_t step = chunk == 0 ? bytes.size() : chunk;
    for (std::size_t at = 0; at < bytes.size(); at += step)
        AddRead(receivedText, bytes.substr(at, step), setting);
    return ComposePage(receivedText, setting, place);
}

} // namespace quillar
