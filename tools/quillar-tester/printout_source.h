#pragma once
// Where the bytes to send come from: a sample printout by model, or a file.

#include <string>

namespace quillar::tester {

// The sample file of a model (kd318.txt, kd520.txt, qm.txt), looked up in
// $QUILLAR_SAMPLES_DIR, then <exe dir>/../share/quillar/samples, then the
// source tree's samples/. Empty with the places tried in error when none has it.
std::string FindSample(const std::string& model, std::string& error);

// The file's bytes; false with the reason in error.
bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error);

} // namespace quillar::tester
