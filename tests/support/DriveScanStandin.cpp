#include "DriveScanStandin.h"

#include <libburn/libburn.h>

#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

using namespace burn;

// libburn's own function of that name.
#define REAL(function) reinterpret_cast<decltype(&function)>(dlsym(RTLD_NEXT, #function))

namespace {

long long number(const char* variable, long long otherwise) {
    const char* text = std::getenv(variable);
    return text && *text ? std::strtoll(text, nullptr, 0) : otherwise;
}

// Where the call that started the scan under way wants the list (0: no scan under way).
burn_drive_info** scanInfos = nullptr;
unsigned int* scanCount = nullptr;

std::mutex mutex;                        // guards what follows
std::map<burn_drive*, std::string> held; // listed drives neither forgotten nor freed, by kind
std::string log;

// Notes what the program did to a listed drive it still holds; other drives are not ours.
void note(burn_drive* drive, const char* what, const char* after = "", bool letsGo = false) {
    std::lock_guard lock(mutex);
    const auto found = held.find(drive);
    if (found == held.end())
        return;
    log += (log.empty() ? "" : ", ") + (what + (' ' + found->second)) + after;
    if (letsGo)
        held.erase(found);
}

int listDrives(burn_drive_info** infos, unsigned int* count) {
    // libburn's own scan checks that no drive is held any more; what it finds stays out.
    burn_drive_info* found = nullptr;
    unsigned int foundCount = 0;
    int result = 0;
    while ((result = REAL(burn_drive_scan)(&found, &foundCount)) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (result < 0)
        return result;
    if (found)
        REAL(burn_drive_info_free)(found);

    std::vector<burn_drive_info> drives;
    std::map<burn_drive*, std::string> listed;
    const char* wanted = std::getenv("KESTRIN_STANDIN_DRIVES");
    std::stringstream entries(wanted ? wanted : "");
    for (std::string entry; std::getline(entries, entry, ';');) {
        const std::string kind = entry.substr(0, entry.find('='));
        burn_drive_info* one = nullptr;
        if (kind == entry || burn_drive_scan_and_grab(&one, entry.data() + kind.size() + 1, 0) != 1)
            continue;
        burn_drive_info info = one[0];
        std::free(one);
        REAL(burn_drive_release)(info.drive, 0);
        std::strcpy(info.vendor, "STANDIN");
        std::strcpy(info.product, kind == "burner" ? "DVD-RW DW-1" : "DVD-ROM DR-1");
        info.write_dvdram = info.write_dvdr = info.write_cdr = info.write_cdrw = kind == "burner";
        drives.push_back(info);
        listed[info.drive] = kind;
    }
    // One more element with no drive marks the end, as libburn's lists have it.
    *infos = drives.empty() ? nullptr
                            : static_cast<burn_drive_info*>(
                                  std::calloc(drives.size() + 1, sizeof(burn_drive_info)));
    if (*infos)
        std::memcpy(*infos, drives.data(), drives.size() * sizeof(burn_drive_info));
    *count = unsigned(drives.size());
    std::lock_guard lock(mutex);
    held = std::move(listed);
    return 1;
}

} // namespace

std::string standin::events() {
    std::lock_guard lock(mutex);
    return log;
}

namespace burn {
extern "C" {

// The first call starts the scan and answers that it runs; the next one hands over the list.
int burn_drive_scan(burn_drive_info* drive_infos[], unsigned int* n_drives) {
    if (!scanInfos) {
        *drive_infos = nullptr;
        *n_drives = 0;
        scanInfos = drive_infos;
        scanCount = n_drives;
        std::lock_guard lock(mutex);
        log.clear();
        return 0;
    }
    const int result = listDrives(scanInfos, scanCount);
    scanInfos = nullptr;
    return result;
}

int burn_drive_grab(burn_drive* drive, int load) {
    note(drive, "grab");
    return REAL(burn_drive_grab)(drive, load);
}

int burn_drive_info_forget(burn_drive_info* drive_info, int force) {
    note(drive_info->drive, "forget", "", true);
    return REAL(burn_drive_info_forget)(drive_info, force);
}

void burn_drive_release(burn_drive* drive, int eject) {
    note(drive, "release", eject ? " eject" : "");
    REAL(burn_drive_release)(drive, eject);
}

void burn_drive_info_free(burn_drive_info drive_infos[]) {
    for (burn_drive_info* info = drive_infos; info && info->drive; ++info)
        note(info->drive, "free", "", true);
    REAL(burn_drive_info_free)(drive_infos);
}

void burn_disc_write(burn_write_opts* opts, burn_disc* disc) {
    note(burn_write_opts_get_drive(opts), "write");
    std::this_thread::sleep_for(
        std::chrono::milliseconds(number("KESTRIN_STANDIN_WRITE_DELAY_MS", 0)));
    REAL(burn_disc_write)(opts, disc);
}

int burn_read_data(burn_drive* d, off_t byte_address, char data[], off_t data_size,
                   off_t* data_count, int flag) {
    const int result = REAL(burn_read_data)(d, byte_address, data, data_size, data_count, flag);
    const off_t lastByte = number("KESTRIN_STANDIN_BAD_SECTOR", -1) * 2048 + 2047 - byte_address;
    if (lastByte >= 0 && lastByte < *data_count)
        data[lastByte] = char(~data[lastByte]);
    return result;
}

} // extern "C"
} // namespace burn
