#pragma once

#include <string>

namespace zuvemo::core::JetSql {

// Rewrites the few statement forms the original engine took and SQLite does not, today:
//   UPDATE A INNER JOIN B ON cond SET A.c = B.d [WHERE w]
//     -> UPDATE A SET c = B.d FROM B WHERE (cond) [AND (w)]
// Any other text is returned unchanged.
std::string translate(const std::string& sql);

} // namespace zuvemo::core::JetSql
