#include "platform/DeviceAccess.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace kestrel::platform {
namespace {

std::string UserName(uid_t uid) {
  std::vector<char> buf(4096);
  passwd pw{};
  passwd* found = nullptr;
  if (::getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr) return found->pw_name;
  return std::to_string(uid);
}

std::string GroupName(gid_t gid) {
  std::vector<char> buf(4096);
  group gr{};
  group* found = nullptr;
  if (::getgrgid_r(gid, &gr, buf.data(), buf.size(), &found) == 0 && found != nullptr) return found->gr_name;
  return std::to_string(gid);
}

bool InGroup(gid_t gid) {
  if (::getegid() == gid) return true;
  const int count = ::getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  const int got = ::getgroups(count, groups.data());
  for (int i = 0; i < got; ++i)
    if (groups[static_cast<std::size_t>(i)] == gid) return true;
  return false;
}

}  // namespace

TDeviceAccess DescribeDevice(const std::string& path) {
  TDeviceAccess a;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return a;
  a.exists = true;
  // The effective ids decide an open, as they decide the check here.
  a.may_open = ::faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) == 0;
  a.owner = UserName(st.st_uid);
  a.group = GroupName(st.st_gid);
  a.mode = static_cast<std::uint32_t>(st.st_mode & 07777);
  a.in_group = InGroup(st.st_gid);
  return a;
}

std::string CurrentUserName() { return UserName(::geteuid()); }

bool IsPermissionError(std::uint32_t code) { return code == EACCES || code == EPERM; }

}  // namespace kestrel::platform
