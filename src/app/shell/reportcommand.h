#pragma once

// "trellmo --report DAYWORKBOOK.xls --output FILE.pdf|FILE.csv": the report of a day workbook
// without a window, for scripts and scheduled jobs. It needs no display: unless a platform is
// asked for, it draws offscreen.

// True when the command line asks for a report rather than the window.
bool isReportCommand(int argc, char** argv);

// Writes the report and returns the exit status: 0 when it is written, 2 when the command line
// or the workbook is wrong (no day workbook), 1 when the output cannot be written; the reason
// goes to standard error in one line. The workbook is only read.
int runReportCommand(int argc, char** argv);
