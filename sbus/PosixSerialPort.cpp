#include "sbus/PosixSerialPort.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace pelsbus {

namespace {

// Waits of the Windows time-out record of zero mean "no limit"; nothing here
// may block for ever, so such waits end after this long.
constexpr int kLongestWaitMs = 60000;

speed_t SpeedOf(uint32_t baud) {
    switch (baud) {
    case 150:
        return B150;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B9600;
    }
}

uint32_t BaudOf(speed_t s) {
    switch (s) {
    case B150:
        return 150;
    case B300:
        return 300;
    case B600:
        return 600;
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    default:
        return 9600;
    }
}

using SteadyClock = std::chrono::steady_clock;

int MsLeft(SteadyClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now())
            .count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Errors that say the device under the descriptor is gone (an adapter
// unplugged, the far end of a pty closed), not that one call failed.
bool DeviceGone(int error) {
    return error == EIO || error == ENODEV || error == ENXIO || error == EBADF;
}

} // namespace

bool PosixSerialPort::Failed() {
    // Closed here, so the next open really opens the device again instead of
    // answering "already open" on a dead descriptor for ever.
    if (DeviceGone(errno)) Close();
    return false;
}

bool ApplyTermios(int fd, const termios& t) {
    if (tcsetattr(fd, TCSANOW, &t) == 0) return true;
    if (errno != EINVAL) return false;
    // A pty drops PARENB and glibc then reports EINVAL; the request still
    // holds if everything except the parity bits reads back as asked.
    termios back{};
    if (tcgetattr(fd, &back) != 0) return false;
    const tcflag_t parityBits = PARENB | PARODD | CMSPAR;
    return back.c_iflag == t.c_iflag && back.c_oflag == t.c_oflag && back.c_lflag == t.c_lflag &&
           (back.c_cflag & ~parityBits) == (t.c_cflag & ~parityBits) &&
           cfgetospeed(&back) == cfgetospeed(&t) && back.c_cc[VMIN] == t.c_cc[VMIN] &&
           back.c_cc[VTIME] == t.c_cc[VTIME];
}

bool PosixSerialPort::OpenPath(const std::string& path, int& osError) {
    if (fd_ >= 0) {
        osError = EBUSY;
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        osError = errno;
        return false;
    }
    // Not shared: TIOCEXCL keeps other opens out (except root's), the lock
    // keeps out other users of this library whoever they run as.
    if (!isatty(fd) || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        osError = isatty(fd) ? errno : ENOTTY;
        ::close(fd);
        return false;
    }
    ioctl(fd, TIOCEXCL);
    fd_ = fd;
    rs485_ = false;
    return true;
}

void PosixSerialPort::Close() {
    if (fd_ < 0) return;
    ioctl(fd_, TIOCNXCL);
    flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

bool PosixSerialPort::GetSettings(CommSettings& s) {
    if (fd_ < 0 || tcgetattr(fd_, &base_) != 0) return false;
    s.baud = BaudOf(cfgetospeed(&base_));
    s.dataBits = (base_.c_cflag & CSIZE) == CS7 ? 7 : 8;
    if (!(base_.c_cflag & PARENB))
        s.parity = Parity::None;
    else
        s.parity = (base_.c_cflag & PARODD) ? Parity::Mark : Parity::Space;
    s.stopBits = (base_.c_cflag & CSTOPB) ? 2 : 1;
    s.binary = !(base_.c_lflag & ICANON);
    s.parityCheck = (base_.c_iflag & INPCK) != 0;
    s.ctsFlow = (base_.c_cflag & CRTSCTS) != 0;
    return true;
}

bool PosixSerialPort::SetSettings(const CommSettings& s) {
    if (fd_ < 0) return false;
    termios t = base_;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CREAD | CLOCAL | (s.dataBits == 7 ? CS7 : CS8);
    if (s.parity == Parity::Mark) t.c_cflag |= PARENB | CMSPAR | PARODD;
    if (s.parity == Parity::Space) t.c_cflag |= PARENB | CMSPAR;
    if (s.stopBits == 2) t.c_cflag |= CSTOPB;
    if (s.ctsFlow) t.c_cflag |= CRTSCTS;
    if (s.binary) {
        // Binary: every byte as it comes. Software flow control goes too:
        // a Linux tty has it on by default and it would swallow data bytes
        // 0x11 and 0x13, which a Windows port never does in this setting.
        t.c_iflag &=
            ~(IGNBRK | BRKINT | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | IMAXBEL);
        t.c_oflag &= ~OPOST;
        t.c_lflag &= ~(ICANON | ECHO | ECHOE | ECHONL | ISIG | IEXTEN);
    }
    t.c_iflag &= ~(INPCK | PARMRK);
    if (s.parityCheck)
        t.c_iflag |= INPCK;
    else
        t.c_iflag |= IGNPAR;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, SpeedOf(s.baud));
    cfsetospeed(&t, SpeedOf(s.baud));
    if (!ApplyTermios(fd_, t)) return Failed();

    int dtr = TIOCM_DTR;
    ioctl(fd_, s.dtr == DtrControl::Enable ? TIOCMBIS : TIOCMBIC, &dtr);
    if (s.rts == RtsControl::Toggle) {
        if (!rs485_) {
            // The driver's RTS-on-send mode where the device has one; a port
            // without it just goes on.
            serial_rs485 rs{};
            rs.flags = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
            rs485_ = ioctl(fd_, TIOCSRS485, &rs) == 0;
        }
    } else {
        int rts = TIOCM_RTS;
        ioctl(fd_, s.rts == RtsControl::Enable ? TIOCMBIS : TIOCMBIC, &rts);
    }
    return true;
}

bool PosixSerialPort::SetTimeouts(const CommTimeouts& t) {
    to_ = t;
    return fd_ >= 0;
}

bool PosixSerialPort::Discard() {
    return fd_ >= 0 && (tcflush(fd_, TCIOFLUSH) == 0 || Failed());
}

bool PosixSerialPort::Drain() {
    return fd_ >= 0 && (tcdrain(fd_) == 0 || Failed());
}

bool PosixSerialPort::Write(const uint8_t* bytes, size_t n) {
    if (fd_ < 0) return false;
    uint64_t total = uint64_t{to_.writeMultiplier} * n + to_.writeConstant;
    if (total == 0 || total > kLongestWaitMs) total = kLongestWaitMs;
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(total);
    size_t done = 0;
    while (done < n) {
        const ssize_t w = ::write(fd_, bytes + done, n - done);
        if (w > 0) {
            done += static_cast<size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno != EAGAIN) return Failed();
        pollfd p{fd_, POLLOUT, 0};
        const int left = MsLeft(deadline);
        if (left == 0 || poll(&p, 1, left) <= 0) return false;
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            errno = EIO;
            return Failed();
        }
    }
    return true;
}

// Windows semantics: the total time-out (constant + multiplier x bytes asked
// for) bounds the whole read; the interval time-out, when set, ends it once
// bytes have come and the line then stays quiet that long. MAXDWORD interval
// with no total returns at once with what is there.
bool PosixSerialPort::Read(uint8_t* buf, size_t want, size_t& got) {
    got = 0;
    if (fd_ < 0) return false;
    constexpr uint32_t kMaxDword = 0xFFFFFFFFu;
    const bool immediate =
        to_.readInterval == kMaxDword && to_.readMultiplier == 0 && to_.readConstant == 0;
    uint64_t total = uint64_t{to_.readMultiplier} * want + to_.readConstant;
    if (to_.readMultiplier == kMaxDword || to_.readConstant == kMaxDword) total = kLongestWaitMs;
    const bool bounded = total > 0;
    if (!bounded || total > kLongestWaitMs) total = kLongestWaitMs;
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(total);
    const bool useInterval = to_.readInterval > 0 && to_.readInterval != kMaxDword;
    while (got < want) {
        const ssize_t r = ::read(fd_, buf + got, want - got);
        if (r > 0) {
            got += static_cast<size_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && errno != EAGAIN) return Failed();
        if (r == 0 && !isatty(fd_)) {
            errno = ENXIO;
            return Failed();
        }
        if (immediate) return true;
        int wait = MsLeft(deadline);
        if (useInterval && got > 0 && static_cast<uint64_t>(wait) > to_.readInterval)
            wait = static_cast<int>(to_.readInterval);
        if (wait == 0) return true;
        pollfd p{fd_, POLLIN, 0};
        const int pr = poll(&p, 1, wait);
        if (pr < 0 && errno == EINTR) continue;
        if (pr < 0) return false;
        if (pr == 0) {
            if (useInterval && got > 0) return true;
            if (MsLeft(deadline) == 0) return true;
            continue;
        }
        // A hang-up without data: the device is gone (a pty whose master
        // closed). Reading it would fail, so report the read as failed.
        if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(p.revents & POLLIN)) {
            errno = EIO;
            return Failed();
        }
    }
    return true;
}

bool PosixSerialPort::SetRts(bool on) {
    if (fd_ < 0) return false;
    int rts = TIOCM_RTS;
    return ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &rts) == 0;
}

} // namespace pelsbus
