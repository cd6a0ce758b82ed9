#pragma once

#include <string>

namespace vcl {

// Makes Qt lay out and draw a TrueType face the way the window's layout was
// made: from its outlines, not its embedded bitmaps, whose strikes bring line
// metrics so small that capitals' accents are cut off; and with the Windows
// line metrics (the hhea values) instead of the typographic ones that the
// OS/2 USE_TYPO_METRICS flag asks for. The bitmap tables are renamed, the flag
// cleared. False when the data holds no OS/2 table of sufficient length.
bool UseOutlinesWithWindowsMetrics(std::string& fontData) noexcept;

}  // namespace vcl
