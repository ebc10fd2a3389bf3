#include "view/font_configuration.h"

namespace quillar {

// Fontconfig is the Linux way of choosing faces; elsewhere the system's own
// font matching finds the Windows families.
void UseShippedFontConfiguration() {}

} // namespace quillar
