#include "platform/Acl.h"

#include <QFile>
#include <acl/libacl.h>
#include <cerrno>
#include <grp.h>
#include <sys/acl.h>
#include <sys/stat.h>

namespace {

// Sets (or replaces) the group entry for gid in acl with rwx, then recomputes the mask.
bool setGroupEntry(acl_t* acl, gid_t gid)
{
    acl_entry_t entry = nullptr;
    int which = ACL_FIRST_ENTRY;
    bool found = false;
    while (acl_get_entry(*acl, which, &entry) == 1) {
        which = ACL_NEXT_ENTRY;
        acl_tag_t tag;
        acl_get_tag_type(entry, &tag);
        if (tag != ACL_GROUP)
            continue;
        auto* qualifier = static_cast<gid_t*>(acl_get_qualifier(entry));
        found = qualifier && *qualifier == gid;
        acl_free(qualifier);
        if (found)
            break;
    }
    if (!found) {
        if (acl_create_entry(acl, &entry) != 0 || acl_set_tag_type(entry, ACL_GROUP) != 0
            || acl_set_qualifier(entry, &gid) != 0)
            return false;
    }
    acl_permset_t perms = nullptr;
    if (acl_get_permset(entry, &perms) != 0)
        return false;
    acl_clear_perms(perms);
    acl_add_perm(perms, ACL_READ);
    acl_add_perm(perms, ACL_WRITE);
    acl_add_perm(perms, ACL_EXECUTE);
    return acl_set_permset(entry, perms) == 0 && acl_calc_mask(acl) == 0;
}

} // namespace

int grantUsersFolderAccess(const QString& folder, QString* failedStep)
{
    const QByteArray path = QFile::encodeName(folder);
    const auto fail = [failedStep](const char* step) {
        const int code = errno ? errno : EINVAL;
        if (failedStep)
            *failedStep = QString::fromLatin1(step);
        return code;
    };
    errno = 0;
    struct stat st
    {
    };
    if (::stat(path.constData(), &st) != 0)
        return fail("GetNamedSecurityInfo");
    acl_t access = acl_get_file(path.constData(), ACL_TYPE_ACCESS);
    if (!access)
        return fail("GetNamedSecurityInfo");
    const group* users = getgrnam("users");
    if (!users) {
        acl_free(access);
        errno = ENOENT;
        return fail("SetEntriesInAcl");
    }
    if (!setGroupEntry(&access, users->gr_gid)) {
        acl_free(access);
        return fail("SetEntriesInAcl");
    }
    acl_t defaults = S_ISDIR(st.st_mode) ? acl_get_file(path.constData(), ACL_TYPE_DEFAULT) : nullptr;
    if (defaults && acl_entries(defaults) == 0) {
        // An empty default ACL needs the owner, group and other entries before a named group can join.
        acl_free(defaults);
        defaults = acl_dup(access);
    }
    int result = 0;
    if (acl_set_file(path.constData(), ACL_TYPE_ACCESS, access) != 0) {
        result = fail("SetNamedSecurityInfo");
    } else if (defaults
        && (!setGroupEntry(&defaults, users->gr_gid)
            || acl_set_file(path.constData(), ACL_TYPE_DEFAULT, defaults) != 0)) {
        result = fail("SetNamedSecurityInfo");
    }
    acl_free(access);
    if (defaults)
        acl_free(defaults);
    return result;
}
