#pragma once
// The head of a self-contained report page (the journal's, the signal
// history's): no script and nothing from outside the file, the style its
// tables and charts share, then the page's own.

#include <string>
#include <string_view>

std::string ReportPageHead(std::string_view title, std::string_view pageStyle);
