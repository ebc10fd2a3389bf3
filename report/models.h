#pragma once
// The tester models that have a report page, and telling one from a printout.

#include <array>
#include <string_view>

namespace quillar {

// In the order the model menu offers them. Names are exact and case-sensitive.
inline constexpr std::array<std::string_view, 3> ReportModels = {"KD318", "KD520", "QM"};

// Whether model is one of ReportModels.
bool HasReportPage(std::string_view model);

// The model whose printout this plainly is, by labels no other model prints,
// or empty. A KD520 prints "Healthy:", "Charge:" and "Select Input:" where
// the others print "SOH:" and "SOC:"; a QM alone prints "Battery Type:". A
// KD318's printout has no label of its own.
std::string_view ModelOfPrintout(std::string_view printout);

} // namespace quillar
