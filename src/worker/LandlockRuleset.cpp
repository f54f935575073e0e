#include "LandlockRuleset.h"

#include "protocol/SystemError.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/landlock.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Landlock rights newer than Debian 12's kernel headers; the kernel reports
// which of them it knows through its ABI version.
constexpr __u64 accessFsTruncate = 1ULL << 14;
constexpr __u64 accessFsIoctlDev = 1ULL << 15;

// The ruleset attribute as of ABI 6; older kernels take a shorter prefix of it.
struct RulesetAttribute
{
    __u64 handledAccessFs = 0;
    __u64 handledAccessNet = 0;
    __u64 scoped = 0;
};

// The rights that make sense on a file rather than a folder.
constexpr __u64 fileRights = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE |
                             LANDLOCK_ACCESS_FS_READ_FILE | accessFsTruncate | accessFsIoctlDev;

__u64 knownAccess(int version)
{
    __u64 access = (LANDLOCK_ACCESS_FS_MAKE_SYM << 1) - 1;
    if (version >= 2)
        access |= LANDLOCK_ACCESS_FS_REFER;
    if (version >= 3)
        access |= accessFsTruncate;
    if (version >= 5)
        access |= accessFsIoctlDev;
    return access;
}

} // namespace

int LandlockRuleset::abiVersion()
{
    return static_cast<int>(
        ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION));
}

LandlockRuleset::LandlockRuleset(__u64 handledAccess, __u64 scoped)
{
    const int version = abiVersion();
    if (version < 1) {
        m_error = errno;
        return;
    }
    RulesetAttribute attribute;
    attribute.handledAccessFs = handledAccess & knownAccess(version);
    size_t size = sizeof attribute.handledAccessFs;
    if (version >= 6 && scoped != 0) {
        attribute.scoped = scoped;
        size = sizeof attribute;
    }
    m_handled = attribute.handledAccessFs;
    m_fd = static_cast<int>(::syscall(SYS_landlock_create_ruleset, &attribute, size, 0));
    if (m_fd < 0)
        m_error = errno;
}

LandlockRuleset::~LandlockRuleset()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool LandlockRuleset::allow(const QString &path, __u64 access)
{
    if (m_fd < 0)
        return false;
    const int fd = ::open(QFile::encodeName(path).constData(), O_PATH | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status;
    landlock_path_beneath_attr rule = {};
    rule.allowed_access = access & m_handled;
    if (::fstat(fd, &status) == 0 && !S_ISDIR(status.st_mode))
        rule.allowed_access &= fileRights;
    rule.parent_fd = fd;
    const bool added =
        rule.allowed_access == 0 ||
        ::syscall(SYS_landlock_add_rule, m_fd, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) == 0;
    ::close(fd);
    return added;
}

QString LandlockRuleset::restrictSelf()
{
    if (m_fd >= 0 && ::syscall(SYS_landlock_restrict_self, m_fd, 0) == 0)
        return QString();
    if (m_fd >= 0)
        m_error = errno;
    return systemError(m_error);
}
