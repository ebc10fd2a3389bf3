#pragma once
// The tester models that have a report page: each model's name, page builder,
// fill-in boxes and archive log columns in one table, and telling one from a
// printout.

#include "report/report_pages.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace quillar {

enum class TesterModel { KD318, KD520, QM };

// What differs between the models, one row each.
struct ModelTraits {
    TesterModel model;
    std::string_view name; // as configured and offered: exact, case-sensitive
    std::string (*buildPage)(const PageInputs&);
    // The page's fill-in boxes ("#vehicle"); empty = the page has none.
    std::string_view storeBox;
    std::string_view companyBox;
    std::string_view technicianBox;
    std::string_view registrationBox;
    std::string_view testDateBox;
    // Whether the archive log's measurement columns are read from its
    // printout (the others leave them empty).
    bool logsMeasurements;
};

// Every model, in the order the model menu offers them.
const std::array<ModelTraits, 3>& ModelTable();

// The model of a configured name: exact and case-sensitive ("KD520" is one,
// "kd520" and " KD520" are none).
std::optional<TesterModel> ParseModel(std::string_view name);

const ModelTraits& TraitsOf(TesterModel model);

// The traits of a configured name; nullptr when it names no model.
const ModelTraits* TraitsOf(std::string_view name);

// The names of ModelTable, in its order.
inline constexpr std::array<std::string_view, 3> ReportModels = {"KD318", "KD520", "QM"};

// Whether model names a model of ModelTable.
bool HasReportPage(std::string_view model);

// The model whose printout this plainly is, by labels no other model prints,
// or empty. A KD520 prints "Healthy:", "Charge:" and "Select Input:" where
// the others print "SOH:" and "SOC:"; a QM alone prints "Battery Type:". A
// KD318's printout has no label of its own.
std::string_view ModelOfPrintout(std::string_view printout);

} // namespace quillar
