#include "builtin_resources.h"

#include <cstddef>
#include <stdexcept>
#include <string>

namespace quillar {

namespace {

struct EmbeddedResource {
    std::string_view name;
    const unsigned char* bytes;
    std::size_t size;
};

#include "builtin_resources_data.inc"

} // namespace

std::string_view BuiltinResource(std::string_view name) {
    for (const EmbeddedResource& resource : EmbeddedResources) {
        if (resource.name == name) {
            return {reinterpret_cast<const char*>(resource.bytes), resource.size};
        }
    }
    throw std::out_of_range("no built-in resource named \"" + std::string(name) + "\"");
}

const ReportTables& BuiltinReportTables() {
    static const ReportTables tables{LoadLineList(BuiltinResource("colonText")),
                                     LoadLineList(BuiltinResource("utf8Text")),
                                     LoadLineList(BuiltinResource("htmKD520"))};
    return tables;
}

} // namespace quillar
