// SPDX-License-Identifier: MIT
#include "qt/PtyLine.h"

#include "sim/Simulator.h"

#include <QSocketNotifier>
#include <QTimer>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace ostrella {

namespace {

std::string reason(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

// Where the symbolic link at `path` points; "" when it is no link.
std::string linkTarget(const std::string& path)
{
    std::array<char, 4096> buffer {};
    const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size() - 1);
    return n > 0 ? std::string(buffer.data(), static_cast<std::size_t>(n)) : std::string();
}

unsigned rateOf(speed_t speed)
{
    struct Speed {
        speed_t code;
        unsigned bps;
    };
    static constexpr std::array<Speed, 19> Speeds { {
        { B50, 50 },         { B75, 75 },         { B110, 110 },       { B134, 134 },
        { B150, 150 },       { B200, 200 },       { B300, 300 },       { B600, 600 },
        { B1200, 1200 },     { B1800, 1800 },     { B2400, 2400 },     { B4800, 4800 },
        { B9600, 9600 },     { B19200, 19200 },   { B38400, 38400 },   { B57600, 57600 },
        { B115200, 115200 }, { B230400, 230400 }, { B460800, 460800 },
    } };
    for (const Speed& s : Speeds) {
        if (s.code == speed)
            return s.bps;
    }
    return 0;
}

} // namespace

PtyLine::PtyLine(std::string path, std::size_t index, QObject* parent)
    : QObject(parent)
    , path_(std::move(path))
    , index_(index)
{
}

PtyLine::~PtyLine()
{
    shut();
}

bool PtyLine::open()
{
    struct stat st { };
    if (::lstat(path_.c_str(), &st) == 0) {
        // Only a link into the pseudo-terminals whose terminal is gone, as a run that did not end
        // cleanly leaves it, is taken over; anything else at the path is someone's.
        const std::string target = linkTarget(path_);
        struct stat targetStat { };
        if (!S_ISLNK(st.st_mode) || target.rfind("/dev/pts/", 0) != 0
            || ::stat(target.c_str(), &targetStat) == 0) {
            error_ = path_ + " exists and is not a link Ostrella left; not replaced";
            return false;
        }
        if (::unlink(path_.c_str()) != 0) {
            error_ = reason("cannot replace the stale link " + path_);
            return false;
        }
    }
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        error_ = reason("cannot make a pseudo-terminal");
        return false;
    }
    std::array<char, 128> name {};
    if (::ptsname_r(master_, name.data(), name.size()) != 0) {
        error_ = reason("cannot name the pseudo-terminal");
        return false;
    }
    device_ = name.data();
    slave_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave_ < 0) {
        error_ = reason("cannot open " + device_);
        return false;
    }
    // Raw: the program sets its own modes; the line sees its bytes unchanged until then.
    termios mode {};
    if (::tcgetattr(slave_, &mode) == 0) {
        ::cfmakeraw(&mode);
        ::tcsetattr(slave_, TCSANOW, &mode);
    }
    inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ < 0) {
        error_ = reason("cannot watch " + device_);
        return false;
    }
    watch(true);
    if (::symlink(device_.c_str(), path_.c_str()) != 0) {
        error_ = reason("cannot make the link " + path_);
        return false;
    }
    opened_ = true;
    readNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    connect(readNotifier_, &QSocketNotifier::activated, this, &PtyLine::onReadable);
    writeNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Write, this);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_, &QSocketNotifier::activated, this, &PtyLine::onWritable);
    watchNotifier_ = new QSocketNotifier(inotify_, QSocketNotifier::Read, this);
    connect(watchNotifier_, &QSocketNotifier::activated, this, &PtyLine::onWatched);
    return true;
}

void PtyLine::watch(bool on)
{
    if (on && watch_ < 0)
        watch_ = ::inotify_add_watch(inotify_, device_.c_str(),
                                     IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE);
    else if (!on && watch_ >= 0) {
        ::inotify_rm_watch(inotify_, watch_);
        watch_ = -1;
    }
}

unsigned PtyLine::clientRate() const
{
    termios mode {};
    if (slave_ < 0 || ::tcgetattr(slave_, &mode) != 0)
        return 0;
    return rateOf(::cfgetospeed(&mode));
}

SocketState PtyLine::state() const
{
    return inCall_ ? SocketState::Connected : SocketState::Closed;
}

bool PtyLine::nobodyElse()
{
    // Our own side is put down for a moment: with nobody else on the terminal, its other side
    // then reads as hung up. Unwatched meanwhile, so that our own open is not taken for a call.
    watch(false);
    ::close(slave_);
    pollfd p { master_, POLLIN, 0 };
    const bool hungUp = ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP) != 0;
    slave_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (hungUp && slave_ >= 0) {
        termios mode {};
        if (::tcgetattr(slave_, &mode) == 0) {
            ::cfmakeraw(&mode);
            ::tcsetattr(slave_, TCSANOW, &mode);
        }
    }
    watch(true);
    return hungUp;
}

void PtyLine::onWatched()
{
    std::array<char, 4096> buffer {};
    bool opened = false;
    bool closed = false;
    for (;;) {
        const ssize_t n = ::read(inotify_, buffer.data(), buffer.size());
        if (n <= 0)
            break;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            inotify_event event {};
            std::memcpy(&event, buffer.data() + at, sizeof event);
            opened = opened || (event.mask & IN_OPEN) != 0;
            closed = closed || (event.mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) != 0;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
        }
    }
    if (closed && nobodyElse()) {
        callOver();
        return;
    }
    if (opened && !inCall_ && sim_ != nullptr) {
        inCall_ = true;
        sim_->deviceOpened(index_);
    }
}

void PtyLine::callOver()
{
    pending_.clear();
    if (writeNotifier_ != nullptr)
        writeNotifier_->setEnabled(false);
    if (!inCall_)
        return;
    inCall_ = false;
    if (sim_ != nullptr)
        sim_->deviceClosed(index_);
}

void PtyLine::onReadable()
{
    std::array<char, 16 * 1024> buffer {};
    std::string bytes;
    while (static_cast<qint64>(bytes.size()) < ReadChunk) {
        const ssize_t n = ::read(master_, buffer.data(), buffer.size());
        if (n <= 0)
            break;
        bytes.append(buffer.data(), static_cast<std::size_t>(n));
    }
    if (bytes.empty() || sim_ == nullptr)
        return;
    // What the program sends after the line hung up begins the next call. The speed it set is
    // read again each time: it may set one after opening.
    inCall_ = true;
    sim_->deviceAt(index_).wire.setDeviceRate(clientRate());
    sim_->deviceData(index_, bytes);
}

bool PtyLine::send(std::string_view bytes)
{
    if (!inCall_ || master_ < 0)
        return false;
    if (pending_.size() + bytes.size() > WriteLimit)
        return false;
    pending_.append(bytes);
    onWritable();
    return true;
}

void PtyLine::onWritable()
{
    while (!pending_.empty()) {
        const ssize_t n = ::write(master_, pending_.data(), pending_.size());
        if (n <= 0)
            break;
        pending_.erase(0, static_cast<std::size_t>(n));
    }
    if (writeNotifier_ != nullptr)
        writeNotifier_->setEnabled(!pending_.empty());
}

void PtyLine::close()
{
    if (!inCall_)
        return;
    inCall_ = false;
    hangUpLater(this, sim_, index_, [this] { return inCall_; });
}

void hangUpLater(QObject* line, Simulator* sim, std::size_t index, std::function<bool()> callOn)
{
    QTimer::singleShot(0, line, [sim, index, callOn = std::move(callOn)] {
        if (!callOn() && sim != nullptr)
            sim->deviceClosed(index);
    });
}

void PtyLine::shut()
{
    delete readNotifier_;
    delete writeNotifier_;
    delete watchNotifier_;
    readNotifier_ = writeNotifier_ = watchNotifier_ = nullptr;
    if (!device_.empty() && linkTarget(path_) == device_)
        ::unlink(path_.c_str());
    for (int* fd : { &inotify_, &slave_, &master_ }) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    device_.clear();
}

} // namespace ostrella
