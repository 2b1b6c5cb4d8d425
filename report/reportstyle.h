#pragma once

// The style sheet of a trip report, inlined in its page: cards and panels on
// a light page, charts in the page's colours, a narrow layout for phones and
// a plain one for print.

namespace report {

const char *reportStyle();

} // namespace report
