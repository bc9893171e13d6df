#pragma once
// One cell of a tab-separated table. A tab or line break inside a name would split
// the table's columns or rows, so each becomes a blank; an empty cell reads "n/a".

#include <string>

namespace cohortix::host {

std::string tsvField(std::string text);

}  // namespace cohortix::host
