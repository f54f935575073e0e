#include "PermissionsEnforced.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr quint32 overrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);

struct Capabilities
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
};

bool read(Capabilities &capabilities)
{
    return ::syscall(SYS_capget, &capabilities.header, capabilities.data) == 0;
}

bool setEffective(bool withOverrides)
{
    Capabilities capabilities;
    if (!read(capabilities))
        return false;
    if (withOverrides)
        capabilities.data[0].effective |= overrides & capabilities.data[0].permitted;
    else
        capabilities.data[0].effective &= ~overrides;
    return ::syscall(SYS_capset, &capabilities.header, capabilities.data) == 0;
}

} // namespace

PermissionsEnforced::PermissionsEnforced()
{
    Capabilities capabilities;
    if (!read(capabilities)) {
        m_problem = QStringLiteral("cannot read this process's capabilities");
        return;
    }
    if ((capabilities.data[0].effective & overrides) == 0)
        return;
    m_dropped = setEffective(false);
    if (!m_dropped)
        m_problem = QStringLiteral("cannot give up the right to override permissions");
}

PermissionsEnforced::~PermissionsEnforced()
{
    if (m_dropped)
        setEffective(true);
}
