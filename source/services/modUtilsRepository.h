#pragma once
// Opening and validating a repository file, and the repository last chosen by the user.

#include "platform/database/Database.h"

#include <QString>

#include <memory>

[[nodiscard]] bool InitRepository(std::unique_ptr<db::Database>& DB, const QString& path);
[[nodiscard]] bool ValidateRepository(const QString& path);
void SaveDefaultRepository(const QString& path);
QString GetDefaultRepository();
// The program version, stored in a repository file when the file is made.
int RepositoryVersionStamp();
