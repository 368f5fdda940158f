// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/special_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <future>
#include <system_error>

namespace tickora::test {

const char* PlantName(Plant plant) {
    switch (plant) {
        case Plant::kFifo:
            return "a FIFO";
        case Plant::kLinkOut:
            return "a link out of the folder";
        case Plant::kLinkToDevZero:
            return "a link to /dev/zero";
        case Plant::kFolder:
            return "a folder";
        case Plant::kHardLinkOut:
            return "a second name of a file elsewhere";
    }
    return "?";
}

bool PlantAt(const std::filesystem::path& path, Plant plant, const std::filesystem::path& outside) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    switch (plant) {
        case Plant::kFifo:
            return ::mkfifo(path.c_str(), 0600) == 0;
        case Plant::kLinkOut:
            std::filesystem::create_symlink(outside, path, ec);
            break;
        case Plant::kLinkToDevZero:
            std::filesystem::create_symlink("/dev/zero", path, ec);
            break;
        case Plant::kFolder:
            std::filesystem::create_directory(path, ec);
            break;
        case Plant::kHardLinkOut:
            std::filesystem::create_hard_link(outside, path, ec);
            break;
    }
    return !ec;
}

bool EndsWithin(std::chrono::milliseconds bound, const std::function<void()>& call,
                const std::vector<std::filesystem::path>& fifos) {
    std::future<void> done = std::async(std::launch::async, call);
    if (done.wait_for(bound) == std::future_status::ready) {
        done.get();
        return true;
    }
    // A FIFO opened for reading and writing at once never waits, and lets an open blocked on the
    // other side go on. A writer's few lines fit its buffer; once it is closed again, a reader
    // sees the end of the file, and a late writer gets EPIPE, not the signal that would end the
    // tests. Again and again, for a call that waits on one FIFO after another.
    std::signal(SIGPIPE, SIG_IGN);
    do {
        std::vector<int> opened;
        for (const std::filesystem::path& fifo : fifos) {
            opened.push_back(::open(fifo.c_str(), O_RDWR | O_NONBLOCK));
        }
        (void)done.wait_for(std::chrono::milliseconds(200));
        for (const int fd : opened) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    } while (done.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready);
    done.get();
    return false;
}

}  // namespace tickora::test
