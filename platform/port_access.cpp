#include "platform/port_access.h"

#include <unistd.h>

#include <cerrno>

bool PortAccessDenied(const std::string& name) {
    if (name.empty()) return false;
    const std::string path = name[0] == '/' ? name : "/dev/" + name;
    return access(path.c_str(), R_OK | W_OK) != 0 && errno == EACCES;
}
