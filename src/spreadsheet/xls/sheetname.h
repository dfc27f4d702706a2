#pragma once

#include <QString>

namespace xls {

// Excel's rules for a sheet name; a file that breaks them opens only after a repair.
constexpr int kMaxSheetNameChars = 31;

// What is wrong with `name` as a sheet name, or an empty string: it is empty, longer than
// kMaxSheetNameChars, holds one of : \ / ? * [ ], or begins or ends with an apostrophe.
QString sheetNameProblem(const QString& name);

} // namespace xls
