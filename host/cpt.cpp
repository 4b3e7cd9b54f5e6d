#include "host/cpt.h"

#include "host/gen.h"

#include <fstream>
#include <ifaddrs.h>
#include <limits.h>
#include <set>
#include <string>
#include <unistd.h>

#if defined(__linux__)
#include <netpacket/packet.h>
#endif

namespace {

// The first line of a file, trimmed; "" when it cannot be read.
std::string first_line(const char* path)
{
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return gen_remove_leading_and_trailing_white_spaces(line);
}

std::string host_name()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof(name) - 1) != 0)
        return "";
    return name;
}

std::string machine_id()
{
    std::string id = first_line("/etc/machine-id");
    return id.empty() ? first_line("/var/lib/dbus/machine-id") : id;
}

// The hardware addresses of the network interfaces as "xx:xx:..." texts,
// sorted, without repeats or all-zero addresses (loopback), joined by ",".
std::string hardware_addresses()
{
    std::set<std::string> addresses;
#if defined(__linux__)
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return "";
    static const char digits[] = "0123456789abcdef";
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_PACKET)
            continue;
        const sockaddr_ll* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
        std::string text;
        bool zero = true;
        for (size_t i = 0; i < link->sll_halen && i < sizeof(link->sll_addr); ++i) {
            text += i ? ":" : "";
            text += digits[link->sll_addr[i] >> 4];
            text += digits[link->sll_addr[i] & 0xF];
            zero = zero && link->sll_addr[i] == 0;
        }
        if (!zero)
            addresses.insert(text);
    }
    freeifaddrs(list);
#endif
    std::string joined;
    for (const std::string& address : addresses)
        joined += (joined.empty() ? "" : ",") + address;
    return joined;
}

// The value of the first "model name" line of /proc/cpuinfo.
std::string processor_model()
{
    std::ifstream file("/proc/cpuinfo");
    std::string line;
    while (std::getline(file, line)) {
        size_t colon = line.find(':');
        if (colon != std::string::npos && gen_remove_leading_and_trailing_white_spaces(line.substr(0, colon)) == "model name")
            return gen_remove_leading_and_trailing_white_spaces(line.substr(colon + 1));
    }
    return "";
}

} // namespace

CPT_MANAGER* CPT_MANAGER::get_cpt_mgr()
{
    static CPT_MANAGER* manager = new CPT_MANAGER; // never destroyed: used until exit
    return manager;
}

std::string CPT_MANAGER::get_local_hostid(int kind)
{
    switch (kind) {
    case 1: return host_name();
    case 2: return machine_id();
    case 3: return hardware_addresses();
    case 4: return first_line("/proc/sys/kernel/random/boot_id");
    case 5: return processor_model();
    default: return "";
    }
}
