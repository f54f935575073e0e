#pragma once

#include <QString>

#include <linux/types.h>

// One Landlock layer in the making: the rights it handles are refused
// everywhere but beneath the paths it allows them on, once it is in force.
class LandlockRuleset
{
public:
    // The kernel's Landlock ABI version, below 1 when it offers none.
    static int abiVersion();

    // scoped: what the layer also keeps inside, from ABI 6 on (signals,
    // abstract UNIX sockets).
    LandlockRuleset(__u64 handledAccess, __u64 scoped = 0);
    ~LandlockRuleset();
    LandlockRuleset(const LandlockRuleset &) = delete;
    LandlockRuleset &operator=(const LandlockRuleset &) = delete;

    bool isValid() const { return m_fd >= 0; }
    __u64 handledAccess() const { return m_handled; }

    // Rights on a folder hold beneath it; on a file, for that file. Rights the
    // layer does not handle are left out. False when the path cannot be
    // opened or the kernel refuses the rule.
    bool allow(const QString &path, __u64 access);

    // Puts the layer in force on this process and all it starts. The reason
    // it could not be made or put in force, or "".
    QString restrictSelf();

private:
    int m_fd = -1;
    __u64 m_handled = 0;
    int m_error = 0;
};
