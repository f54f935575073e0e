#pragma once

#include <QString>

// Root reads and writes whatever the permission bits say. While an object of
// this class lives, this process is held to those bits as any other user is,
// so a folder without read permission cannot be listed and a read-only file
// cannot be written. Processes it starts from then on get root's powers back.
class PermissionsEnforced
{
public:
    PermissionsEnforced();
    ~PermissionsEnforced();
    PermissionsEnforced(const PermissionsEnforced &) = delete;
    PermissionsEnforced &operator=(const PermissionsEnforced &) = delete;

    // "" when the bits now hold for this process, or why they do not.
    QString problem() const { return m_problem; }

private:
    QString m_problem;
    bool m_dropped = false;
};
