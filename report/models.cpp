#include "report/models.h"

#include <algorithm>

namespace quillar {

const std::array<ModelTraits, 3>& ModelTable() {
    // The KD318 form asks for company, technician, registration and date in
    // boxes a to d; the KD520 template for the store and the vehicle; the QM
    // page is the printout alone.
    static const std::array<ModelTraits, 3> table{{
        {TesterModel::KD318, "KD318", BuildFormPage, "", "#a", "#b", "#c", "#d", false},
        {TesterModel::KD520, "KD520", BuildTemplatePage, "#store", "", "", "#vehicle", "", true},
        {TesterModel::QM, "QM", BuildPlainPage, "", "", "", "", "", false},
    }};
    return table;
}

std::optional<TesterModel> ParseModel(std::string_view name) {
    for (const ModelTraits& traits : ModelTable())
        if (traits.name == name)
            return traits.model;
    return std::nullopt;
}

const ModelTraits& TraitsOf(TesterModel model) {
    return ModelTable()[static_cast<std::size_t>(model)];
}

const ModelTraits* TraitsOf(std::string_view name) {
    const std::optional<TesterModel> model = ParseModel(name);
    return model ? &TraitsOf(*model) : nullptr;
}

bool HasReportPage(std::string_view model) {
    return ParseModel(model).has_value();
}

std::string_view ModelOfPrintout(std::string_view printout) {
    auto holds = [printout](std::string_view label) {
        return printout.find(label) != std::string_view::npos;
    };
    const bool kd520 = holds("Healthy:") || holds("Charge:") || holds("Select Input:");
    const bool kd318OrQm = holds("SOH:") || holds("SOC:");
    if (kd520 && !kd318OrQm) {
        return TraitsOf(TesterModel::KD520).name;
    }
    if (kd318OrQm && !kd520 && holds("Battery Type:")) {
        return TraitsOf(TesterModel::QM).name;
    }
    return {};
}

} // namespace quillar
