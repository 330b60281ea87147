#pragma once
// Reading rows into records, and the key of a row just inserted. Numbers go into 32-bit
// fields: Null reads as 0, and a value that does not fit is refused rather than wrapped, so a
// bad row can never turn into another record's key.

#include "platform/database/Database.h"

#include <QString>

#include <cstdint>

// The error number a value too large for its field is logged with ("Overflow"), the same
// number the log database's readers already know from every other overflow.
constexpr int32_t kOverflowErr = 6;
QString OverflowText(const QString& column, const QVariant& value);

// False when the value lies outside the 32-bit range; `out` is then untouched.
bool ReadInt32(const db::Recordset& rs, const QString& column, int32_t& out);

// The key the row just inserted on DB was given. It names exactly that row, unlike a lookup
// by name or path, which can meet an older row with the same text. False (reported under
// module/procedure) when it does not fit a 32-bit key.
[[nodiscard]] bool InsertedKey(db::Database* DB, const QString& module, const QString& procedure, int32_t& key);
