#pragma once

#include <QString>

// Grants the group "users" read, write and search rights on a folder, with a default ACL entry so that
// files and folders created inside inherit the grant. Setting it again changes nothing (the entry is set,
// not added). Returns 0 on success, else an errno value; failedStep names the call that failed.
int grantUsersFolderAccess(const QString& folder, QString* failedStep);
