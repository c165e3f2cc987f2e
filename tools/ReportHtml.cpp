#include "tools/ReportHtml.h"

namespace {

constexpr std::string_view kHeadStart = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; style-src 'unsafe-inline'">
<meta name="viewport" content="width=device-width, initial-scale=1">
)";

constexpr std::string_view kSharedStyle = R"(body { font-family: sans-serif; margin: 1.5em; color: #000; background: #fff; }
table { border-collapse: collapse; }
th, td { border: 1px solid #888; }
th { background: #eef1f5; }
td { white-space: nowrap; }
td.n { text-align: right; font-variant-numeric: tabular-nums; }
.charts { display: flex; flex-wrap: wrap; gap: 1em; }
figure { margin: 0 0 1em 0; flex: 1 1 28em; max-width: 44em; }
figure svg { width: 100%; height: auto; display: block; }
figcaption { font-size: 0.85em; }
)";

}  // namespace

std::string ReportPageHead(std::string_view title, std::string_view pageStyle) {
  std::string head(kHeadStart);
  head.append("<title>").append(title).append("</title>\n<style>\n");
  head.append(kSharedStyle).append(pageStyle);
  return head.append("</style>\n</head>\n<body>\n");
}
