// The poll cycle runs the phrase tables and rebuilds the page over the whole
// accumulated text at every read. A day of tests left on screen grows that text
// to a megabyte, so one tick's work must grow linearly with it. Time is left to
// the benchmark; here the bytes allocated in one tick are counted, which a copy
// of the rest of the text per match (the usual quadratic slip) multiplies.

#include "report/builtin_resources.h"
#include "report/report_composer.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

namespace {
bool Counting = false;
std::size_t Allocated = 0;
} // namespace

void* operator new(std::size_t size) {
    if (Counting) {
        Allocated += size;
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
// g++ takes these for a mismatch, not seeing that they replace the global pair.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

namespace quillar {
namespace {

const std::string OnePrintout = test::Printout({
    "Battery Test",
    "Healthy: 100% 505CCA",
    "Charge: 90% 12.54V",
    "Internal R= 5.92m\xEA",
    "Rated: 480 A",
    "Select Input: GB",
    "GOOD BATTERY",
    "",
    "Cranking Test",
    "Cranking Time 2000mS",
    "Cranking Voltage NORMAL",
    "10.00V",
    "",
    "Charging Test",
    "NO-LOADED 14.70",
    "LOADED 13.70",
    "loaded 13.70",
    "Unloaded 14.70",
    "Ripple 10mV",
    "CHARGING NORMAL",
    "Sto-red Test 3",
});

// Bytes allocated by one tick that adds a 240-byte read to a text of about
// `size` bytes already received.
std::size_t TickAllocation(std::size_t size, std::string_view model, std::int32_t language) {
    const ReportSetting setting{model, language, &BuiltinReportTables()};
    std::string bytes;
    while (bytes.size() < size) {
        bytes += OnePrintout;
    }
    std::string received;
    AddRead(received, bytes, setting);
    const std::string read = OnePrintout.substr(0, 240);
    PageInputs place;
    place.executableDir = "/opt/quillar/";
    place.dateText = "7 December 2026 09:05";
    place.fileExists = [](const std::string&) { return true; };

    Allocated = 0;
    Counting = true;
    AddRead(received, read, setting);
    const std::string page = ComposePage(received, setting, place);
    Counting = false;
    EXPECT_FALSE(page.empty());
    return Allocated;
}

TEST(ReportTick, allocationGrowsLinearlyWithTheAccumulatedText) {
    for (std::string_view model : {"KD520", "KD318", "QM"}) {
        for (std::int32_t language : {0, 1, 6}) {
            const std::size_t small = TickAllocation(32 * 1024, model, language);
            const std::size_t large = TickAllocation(256 * 1024, model, language);
            // Eight times the text: about eight times the bytes if linear,
            // sixty-four if quadratic.
            EXPECT_LT(large, 12 * small) << model << " language " << language;
            EXPECT_GT(small, 0u);
        }
    }
}

} // namespace
} // namespace quillar
