#include "DriveScanStandin.h"

#include <libburn/libburn.h>

#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

using namespace burn;

namespace {

template <typename Function> Function* real(const char* name) {
    return reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
}

std::optional<long long> number(const char* variable) {
    const char* text = std::getenv(variable);
    if (!text || !*text)
        return std::nullopt;
    return std::strtoll(text, nullptr, 0);
}

struct Wanted {
    bool burner = false;
    std::string address;
};

std::vector<Wanted> wantedDrives() {
    std::vector<Wanted> drives;
    const char* text = std::getenv("KESTRIN_STANDIN_DRIVES");
    std::stringstream entries(text ? text : "");
    for (std::string entry; std::getline(entries, entry, ';');) {
        const size_t equals = entry.find('=');
        if (equals != std::string::npos)
            drives.push_back({entry.substr(0, equals) == "burner", entry.substr(equals + 1)});
    }
    return drives;
}

struct Listed {
    std::string address;
    bool gone = false; // forgotten or freed
};

struct Scan {
    std::thread worker;
    std::atomic<int> result = 0;
};

std::mutex mutex;
std::map<burn_drive*, Listed> listed; // the drives of the latest scan
std::vector<std::string> log;
std::unique_ptr<Scan> running;

// Notes what the program did to a listed drive it still holds; other drives are not ours.
void note(burn_drive* drive, const std::string& what, const std::string& suffix = {},
          bool letsGo = false) {
    std::lock_guard lock(mutex);
    const auto found = listed.find(drive);
    if (found == listed.end() || found->second.gone)
        return;
    log.push_back(what + " " + found->second.address + suffix);
    found->second.gone = letsGo;
}

void scanDrives(burn_drive_info** infos, unsigned int* count, Scan* scan) {
    // A bus scan takes its time.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // libburn's own scan checks that no drive is held any more; what it finds stays out.
    burn_drive_info* found = nullptr;
    unsigned int foundCount = 0;
    int result = 0;
    while ((result = real<decltype(burn_drive_scan)>("burn_drive_scan")(&found, &foundCount)) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (result < 0) {
        scan->result = -1;
        return;
    }
    if (found)
        real<decltype(burn_drive_info_free)>("burn_drive_info_free")(found);

    std::vector<burn_drive_info> drives;
    std::map<burn_drive*, Listed> now;
    for (Wanted& wanted : wantedDrives()) {
        burn_drive_info* one = nullptr;
        if (burn_drive_scan_and_grab(&one, wanted.address.data(), 0) != 1)
            continue;
        burn_drive_info info = one[0];
        std::free(one);
        real<decltype(burn_drive_release)>("burn_drive_release")(info.drive, 0);
        std::strcpy(info.vendor, "STANDIN");
        std::strcpy(info.product, wanted.burner ? "DVD-RW DW-1" : "DVD-ROM DR-1");
        info.read_dvdram = info.read_dvdr = info.read_dvdrom = 1;
        info.read_cdr = info.read_cdrw = 1;
        info.write_dvdram = info.write_dvdr = wanted.burner;
        info.write_cdr = info.write_cdrw = wanted.burner;
        drives.push_back(info);
        now[info.drive] = {wanted.address};
    }
    burn_drive_info* list = nullptr;
    if (!drives.empty()) {
        // One more element with no drive marks the end, as libburn's lists have it.
        list = static_cast<burn_drive_info*>(std::calloc(drives.size() + 1, sizeof *list));
        std::memcpy(list, drives.data(), drives.size() * sizeof *list);
    }
    {
        std::lock_guard lock(mutex);
        listed = std::move(now);
    }
    *infos = list;
    *count = unsigned(drives.size());
    scan->result = 1;
}

} // namespace

namespace standin {

std::vector<std::string> events() {
    std::lock_guard lock(mutex);
    return log;
}

std::vector<std::string> heldDrives() {
    std::lock_guard lock(mutex);
    std::vector<std::string> held;
    for (const auto& [drive, entry] : listed)
        if (!entry.gone)
            held.push_back(entry.address);
    return held;
}

} // namespace standin

namespace burn {
extern "C" {

int burn_drive_scan(burn_drive_info* drive_infos[], unsigned int* n_drives) {
    std::lock_guard lock(mutex);
    if (!running) {
        *drive_infos = nullptr;
        *n_drives = 0;
        running = std::make_unique<Scan>();
        running->worker = std::thread(scanDrives, drive_infos, n_drives, running.get());
        return 0;
    }
    if (running->result == 0)
        return 0;
    running->worker.join();
    const int result = running->result;
    running.reset();
    return result;
}

int burn_drive_grab(burn_drive* drive, int load) {
    note(drive, "grab");
    return real<decltype(burn_drive_grab)>("burn_drive_grab")(drive, load);
}

int burn_drive_info_forget(burn_drive_info* drive_info, int force) {
    note(drive_info->drive, "forget", {}, true);
    return real<decltype(burn_drive_info_forget)>("burn_drive_info_forget")(drive_info, force);
}

void burn_drive_release(burn_drive* drive, int eject) {
    note(drive, "release", eject ? " eject" : "");
    real<decltype(burn_drive_release)>("burn_drive_release")(drive, eject);
}

void burn_drive_info_free(burn_drive_info drive_infos[]) {
    for (burn_drive_info* info = drive_infos; info && info->drive; ++info)
        note(info->drive, "free", {}, true);
    real<decltype(burn_drive_info_free)>("burn_drive_info_free")(drive_infos);
}

void burn_disc_write(burn_write_opts* opts, burn_disc* disc) {
    note(burn_write_opts_get_drive(opts), "write");
    if (const auto delay = number("KESTRIN_STANDIN_WRITE_DELAY_MS"))
        std::this_thread::sleep_for(std::chrono::milliseconds(*delay));
    real<decltype(burn_disc_write)>("burn_disc_write")(opts, disc);
}

off_t burn_disc_available_space(burn_drive* d, burn_write_opts* o) {
    if (const auto bytes = number("KESTRIN_STANDIN_FREE_BYTES"))
        return off_t(*bytes);
    return real<decltype(burn_disc_available_space)>("burn_disc_available_space")(d, o);
}

int burn_disc_get_profile(burn_drive* d, int* pno, char name[80]) {
    const char* profile = std::getenv("KESTRIN_STANDIN_PROFILE");
    if (!profile || !*profile)
        return real<decltype(burn_disc_get_profile)>("burn_disc_get_profile")(d, pno, name);
    char* rest = nullptr;
    *pno = int(std::strtol(profile, &rest, 0));
    std::snprintf(name, 80, "%s", rest + std::strspn(rest, " "));
    return 1;
}

int burn_read_data(burn_drive* d, off_t byte_address, char data[], off_t data_size,
                   off_t* data_count, int flag) {
    const int result = real<decltype(burn_read_data)>("burn_read_data")(
        d, byte_address, data, data_size, data_count, flag);
    if (const auto sector = number("KESTRIN_STANDIN_BAD_SECTOR")) {
        const off_t lastByte = off_t(*sector) * 2048 + 2047 - byte_address;
        if (lastByte >= 0 && lastByte < *data_count)
            data[lastByte] = char(~data[lastByte]);
    }
    return result;
}

} // extern "C"
} // namespace burn
